#pragma once

// Audio/message layer of the P2P library, on top of a connection-layer
// session: reliable IO-control messages and unreliable audio frames.

#include "AVServStartInConfig.h"
#include "AVServStartOutConfig.h"
#include "P2PErrors.h"

// Up to `channels` AV servers at once; returns that number.
int avInitialize(int channels);
int avDeInitialize();
// Waits for the client on the record's session and channel to start, for
// up to the record's time-out. The AV index (0 or more) or a negative result.
int avServStartEx(const AVServStartInConfig *in, AVServStartOutConfig *out);
// Ends an avServStartEx that still waits on that session and channel.
void avServExit(int session, int channel);
// Ends the AV server; receives waiting on it return at once.
void avServStop(int avIndex);
// Receives one message: its length (its type in *ioType); AV_ERR_TIMEOUT
// when none came; -20014 to -20011 when one was passed over; any other
// negative value when the server or the session is gone.
// `timeoutMs` is the longest the call blocks when nothing arrives (at most
// 60000). It returns before that, at once, when a message comes, when the
// server is stopped (avServStop, avDeInitialize, avInitialize) or when the
// session is closed (IOTC_Session_Close, IOTC_DeInitialize) or ends at the
// peer. A caller that stops its reader that way can therefore wait long.
int avRecvIOCtrl(int avIndex, unsigned int *ioType, char *buffer, int size, unsigned int timeoutMs);
int avSendIOCtrl(int avIndex, unsigned int ioType, const char *data, int length);
// Receives one audio frame: its length, with its 16-byte frame information
// and number. Blocks like avRecvIOCtrl, for at most one second
// (P2PDevice::AudioWaitMs) when nothing happens; the same events end the
// wait at once. Results as for avRecvIOCtrl.
int avRecvAudioData(int avIndex, char *buffer, int size, char *frameInfo, int infoSize, unsigned int *frameNo);
int avSendAudioData(int avIndex, const char *data, int length, const void *frameInfo, int infoSize);
