#pragma once
// libcurl, loaded the first time a policy service is asked for a ruleset.
// Linked outright, it would make every command load curl and the thirty or
// so libraries behind it (TLS, Kerberos, LDAP, ...) before main, which is
// most of the program's start-up time, for the one ruleset source that uses
// the network.
#include <curl/curl.h>

#include <expected>
#include <string>

namespace razavovivodidi::curl_api {

// The libcurl entry points the policy service client calls.
struct CurlApi {
    const char* (*easy_strerror)(CURLcode);
    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL*);
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_perform)(CURL*);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
};

// The library, loaded and globally initialised once per process; then the
// same answer every time. The error is one line: the library or one of its
// functions could not be loaded, or its global initialisation failed.
std::expected<const CurlApi*, std::string> curl();

}  // namespace razavovivodidi::curl_api
