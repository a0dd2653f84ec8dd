#pragma once

// Results of the P2P library's calls. Zero or more is success; the callers
// rely on the values below, so they never change.

// Connection layer.
constexpr int IOTC_OK = 0;
constexpr int IOTC_ERR_RENDEZVOUS_UNREACHABLE = -1; // no answer from the rendezvous service
constexpr int IOTC_ERR_SOCKET = -2;                 // the UDP socket cannot be opened
constexpr int IOTC_ERR_NOT_INITIALIZED = -12;
constexpr int IOTC_ERR_TIMEOUT = -13;          // nothing within the wait
constexpr int IOTC_ERR_INVALID_SESSION = -14;
constexpr int IOTC_ERR_INVALID_ARG = -15;
constexpr int IOTC_ERR_NOT_LOGGED_IN = -16;
constexpr int IOTC_ERR_SESSION_REFUSED = -18;  // a connection was turned away: the session table is full
constexpr int IOTC_ERR_DEVICE_NOT_FOUND = -19; // no device logged in under that uid
constexpr int IOTC_ERR_LOGIN_REFUSED = -22;
constexpr int IOTC_ERR_DEVICE_BUSY = -23;      // the device's session table is full
constexpr int IOTC_ERR_REMOTE_CLOSED = -24;
constexpr int IOTC_ERR_REMOTE_TIMEOUT = -25;   // the peer fell silent

// Audio/video layer.
constexpr int AV_ERR_TIMEOUT = -13;            // nothing within the wait
constexpr int AV_ERR_INVALID_ARG = -20000;
constexpr int AV_ERR_NOT_INITIALIZED = -20001;
constexpr int AV_ERR_TABLE_FULL = -20002;
constexpr int AV_ERR_INVALID_INDEX = -20010;
// -20011 to -20014: something arrived and was passed over; the session goes on.
constexpr int AV_ERR_FRAME_LOST = -20011;
constexpr int AV_ERR_FRAME_INCOMPLETE = -20012;
constexpr int AV_ERR_FRAME_LATE = -20013;
constexpr int AV_ERR_BUFFER_TOO_SMALL = -20014; // the message or frame was dropped
constexpr int AV_ERR_REMOTE_CLOSED = -20015;
constexpr int AV_ERR_REMOTE_TIMEOUT = -20016;
constexpr int AV_ERR_START_TIMEOUT = -20017;
constexpr int AV_ERR_START_ABORTED = -20018;
constexpr int AV_ERR_AUTH_REFUSED = -20019;
constexpr int AV_ERR_QUEUE_FULL = -20020;
