// EXPECT_PRED1..5 and EXPECT_PRED_FORMAT1..5 (and the ASSERT_ forms).
#pragma once
#pragma GCC system_header

#include "gtest/internal/gtest-internal.h"

#define GTEST_PRED_N_(on_failure, pred, ...)                                                                   \
  GTEST_CHECK_(::testing::internal::PredHelper(#pred, ::testing::internal::PredExprs_{GTEST_PRED_TEXTS_(__VA_ARGS__)}.texts, pred, __VA_ARGS__), \
               on_failure)

namespace testing {
namespace internal {
struct PredExprs_ {
  const char* texts[5];
};
}  // namespace internal
}  // namespace testing

#define GTEST_PRED_TEXTS_1_(v1) #v1
#define GTEST_PRED_TEXTS_2_(v1, v2) #v1, #v2
#define GTEST_PRED_TEXTS_3_(v1, v2, v3) #v1, #v2, #v3
#define GTEST_PRED_TEXTS_4_(v1, v2, v3, v4) #v1, #v2, #v3, #v4
#define GTEST_PRED_TEXTS_5_(v1, v2, v3, v4, v5) #v1, #v2, #v3, #v4, #v5
#define GTEST_PRED_PICK_(_1, _2, _3, _4, _5, name, ...) name
#define GTEST_PRED_TEXTS_(...)                                                                         \
  GTEST_PRED_PICK_(__VA_ARGS__, GTEST_PRED_TEXTS_5_, GTEST_PRED_TEXTS_4_, GTEST_PRED_TEXTS_3_,         \
                   GTEST_PRED_TEXTS_2_, GTEST_PRED_TEXTS_1_, )(__VA_ARGS__)

#define EXPECT_PRED1(pred, v1) GTEST_PRED_N_(GTEST_NONFATAL_FAILURE_, pred, v1)
#define EXPECT_PRED2(pred, v1, v2) GTEST_PRED_N_(GTEST_NONFATAL_FAILURE_, pred, v1, v2)
#define EXPECT_PRED3(pred, v1, v2, v3) GTEST_PRED_N_(GTEST_NONFATAL_FAILURE_, pred, v1, v2, v3)
#define EXPECT_PRED4(pred, v1, v2, v3, v4) GTEST_PRED_N_(GTEST_NONFATAL_FAILURE_, pred, v1, v2, v3, v4)
#define EXPECT_PRED5(pred, v1, v2, v3, v4, v5) GTEST_PRED_N_(GTEST_NONFATAL_FAILURE_, pred, v1, v2, v3, v4, v5)
#define ASSERT_PRED1(pred, v1) GTEST_PRED_N_(GTEST_FATAL_FAILURE_, pred, v1)
#define ASSERT_PRED2(pred, v1, v2) GTEST_PRED_N_(GTEST_FATAL_FAILURE_, pred, v1, v2)
#define ASSERT_PRED3(pred, v1, v2, v3) GTEST_PRED_N_(GTEST_FATAL_FAILURE_, pred, v1, v2, v3)
#define ASSERT_PRED4(pred, v1, v2, v3, v4) GTEST_PRED_N_(GTEST_FATAL_FAILURE_, pred, v1, v2, v3, v4)
#define ASSERT_PRED5(pred, v1, v2, v3, v4, v5) GTEST_PRED_N_(GTEST_FATAL_FAILURE_, pred, v1, v2, v3, v4, v5)

#define GTEST_PRED_FORMAT1_(pred_format, v1, on_failure) GTEST_ASSERT_(pred_format(#v1, v1), on_failure)
#define GTEST_PRED_FORMAT2_(pred_format, v1, v2, on_failure) GTEST_ASSERT_(pred_format(#v1, #v2, v1, v2), on_failure)

#define EXPECT_PRED_FORMAT1(pred_format, v1) GTEST_ASSERT_(pred_format(#v1, v1), GTEST_NONFATAL_FAILURE_)
#define EXPECT_PRED_FORMAT2(pred_format, v1, v2) \
  GTEST_ASSERT_(pred_format(#v1, #v2, v1, v2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_PRED_FORMAT3(pred_format, v1, v2, v3) \
  GTEST_ASSERT_(pred_format(#v1, #v2, #v3, v1, v2, v3), GTEST_NONFATAL_FAILURE_)
#define EXPECT_PRED_FORMAT4(pred_format, v1, v2, v3, v4) \
  GTEST_ASSERT_(pred_format(#v1, #v2, #v3, #v4, v1, v2, v3, v4), GTEST_NONFATAL_FAILURE_)
#define EXPECT_PRED_FORMAT5(pred_format, v1, v2, v3, v4, v5) \
  GTEST_ASSERT_(pred_format(#v1, #v2, #v3, #v4, #v5, v1, v2, v3, v4, v5), GTEST_NONFATAL_FAILURE_)
#define ASSERT_PRED_FORMAT1(pred_format, v1) GTEST_ASSERT_(pred_format(#v1, v1), GTEST_FATAL_FAILURE_)
#define ASSERT_PRED_FORMAT2(pred_format, v1, v2) GTEST_ASSERT_(pred_format(#v1, #v2, v1, v2), GTEST_FATAL_FAILURE_)
#define ASSERT_PRED_FORMAT3(pred_format, v1, v2, v3) \
  GTEST_ASSERT_(pred_format(#v1, #v2, #v3, v1, v2, v3), GTEST_FATAL_FAILURE_)
#define ASSERT_PRED_FORMAT4(pred_format, v1, v2, v3, v4) \
  GTEST_ASSERT_(pred_format(#v1, #v2, #v3, #v4, v1, v2, v3, v4), GTEST_FATAL_FAILURE_)
#define ASSERT_PRED_FORMAT5(pred_format, v1, v2, v3, v4, v5) \
  GTEST_ASSERT_(pred_format(#v1, #v2, #v3, #v4, #v5, v1, v2, v3, v4, v5), GTEST_FATAL_FAILURE_)
