#include "platform/outlook/value.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace lorva::outlook {
namespace {

TEST(ValueTest, TextFormsFollowVisualBasic) {
  EXPECT_EQ(Value().AsText(), "");
  EXPECT_EQ(Value::Text("Printers").AsText(), "Printers");
  EXPECT_EQ(Value::Integer(-42).AsText(), "-42");
  EXPECT_EQ(Value::Double(2.5).AsText(), "2.5");
  EXPECT_EQ(Value::Boolean(true).AsText(), "True");
  EXPECT_EQ(Value::Date(OleDate{45658.5}).AsText(), "2025-01-01 12:00:00");
  EXPECT_EQ(Value::Date(OleDate{0}).AsText(), "1899-12-30");
}

TEST(ValueTest, NumericAndDateTestsReadTextToo) {
  EXPECT_TRUE(Value::Text(" 12 ").IsNumeric());
  EXPECT_FALSE(Value::Text("12a").IsNumeric());
  EXPECT_EQ(Value::Text("12").AsNumber(), 12.0);
  EXPECT_TRUE(Value::Text("2024-02-29").IsDate());
  EXPECT_FALSE(Value::Text("2023-02-29").IsDate());
  EXPECT_FALSE(Value::Text("Printers").IsDate());
  EXPECT_EQ(Value::Text("not a date").AsDate(), OleDate{});
  EXPECT_EQ(Value::Text("1900-01-01").AsDate(), OleDate{2});
}

TEST(ValueTest, BooleanConversionRejectsOtherText) {
  EXPECT_TRUE(Value::Text("TRUE").AsBoolean());
  EXPECT_FALSE(Value::Integer(0).AsBoolean());
  EXPECT_THROW(Value::Text("maybe").AsBoolean(), Error);
}

}  // namespace
}  // namespace lorva::outlook
