#pragma once

#include <string>

// One set of credentials given to SipStack::addAuthenticationInfo.
struct SipStackCredential
{
    std::string user;
    std::string userId;
    std::string password;
    std::string ha1;
    std::string realm;  // empty = any realm
};
