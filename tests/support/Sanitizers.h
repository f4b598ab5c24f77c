#pragma once
// Whether the tests were built with the address sanitizer: its shadow memory makes limits
// on the address space and on peak memory meaningless, so the tests that set them skip.

#if defined(__SANITIZE_ADDRESS__)
#define VELLUM_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELLUM_UNDER_ASAN 1
#endif
#endif
