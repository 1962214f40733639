// What a test source that includes GoogleMock gets: the test macros and the
// matchers. Mock objects (MOCK_METHOD, EXPECT_CALL) are not part of the
// dialect.
#pragma once

#include "gmock/gmock-matchers.h"
#include "gmock/gmock-more-matchers.h"
#include "gtest/gtest.h"

namespace testing {

// GoogleMock's flags are GoogleTest's here.
inline void InitGoogleMock(int* argc, char** argv) { InitGoogleTest(argc, argv); }
inline void InitGoogleMock(int* argc, wchar_t** argv) { InitGoogleTest(argc, argv); }
inline void InitGoogleMock() { InitGoogleTest(); }

}  // namespace testing
