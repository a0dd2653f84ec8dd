#pragma once

#include <cstddef>
#include <cstdint>

// Input record of avServStartEx: 104 bytes, native byte order. Fields not
// named here stay zero.
struct AVServStartInConfig {
    uint32_t size;           // 0: sizeof(AVServStartInConfig)
    int32_t session;         // 4: connection-layer session id
    uint8_t channel;         // 8: channel of the session (IOTC_Session_Get_Free_Channel)
    uint8_t reserved0[3];
    uint32_t timeoutSeconds; // 12: how long to wait for the client's start; 0 means 10
    uint32_t resend;         // 16: 1 = reliable messages (always so in this library)
    uint32_t serverType;     // 20: 1 = audio server
    uint32_t reserved1[2];
    // 32: checks a client's account and password; 0 accepts it. Null accepts every client.
    int32_t (*passwordCheck)(const char *account, const char *password);
    uint8_t reserved2[32];
    // 72: asks the application for an identity token; unused by this library.
    int32_t (*identityRequest)(int32_t handle, void (*respond)(int32_t handle, const char *token, int32_t length));
    // 80: checks an identity token; unused by this library.
    int32_t (*identityCheck)(const char *account, const char *password);
    uint8_t reserved3[16];
};

static_assert(sizeof(AVServStartInConfig) == 104, "the start record is 104 bytes");
static_assert(offsetof(AVServStartInConfig, passwordCheck) == 32, "password check at 32");
static_assert(offsetof(AVServStartInConfig, identityRequest) == 72, "identity request at 72");
static_assert(offsetof(AVServStartInConfig, identityCheck) == 80, "identity check at 80");
