// Whether the test is built under AddressSanitizer: gcc says so with a macro, clang through
// __has_feature. VESK_ADDRESS_SANITIZER is 1 there and 0 elsewhere.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define VESK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_ADDRESS_SANITIZER 1
#endif
#endif

#ifndef VESK_ADDRESS_SANITIZER
#define VESK_ADDRESS_SANITIZER 0
#endif
