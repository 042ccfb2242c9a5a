// TEST_UNDER_ADDRESS_SANITIZER is defined when the test is built with AddressSanitizer, which
// reserves address space of its own: tests that cap the address space skip themselves there.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TEST_UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEST_UNDER_ADDRESS_SANITIZER 1
#endif
#endif
