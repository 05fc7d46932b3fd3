#include "platform/status.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(ResultDeathTest, ReadingTheValueOfAFailureEndsTheProcessInEveryBuild) {
    const Result<int> failed = Status::Error("no such file", ErrorKind::kNotFound);
    EXPECT_TRUE(failed.status().is(ErrorKind::kNotFound));
    EXPECT_DEATH((void)failed.value(), "the value of a failed Result was read: no such file");
    EXPECT_DEATH((void)Result<int>(Status::Ok()), "made from a success without a value");
}

}  // namespace
}  // namespace quillet
