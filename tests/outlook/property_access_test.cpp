#include "outlook/property_access.h"

#include <gtest/gtest.h>

#include "support_code/fake_outlook.h"
#include "support_code/scripted_dialogs.h"

namespace lorva::outlook {
namespace {

using testing::FakeItem;

class PropertyAccessTest : public ::testing::Test {
 protected:
  lorva::testing::ScriptedDialogs dialogs;
  ErrorReporter reporter{dialogs, {}};
};

TEST_F(PropertyAccessTest, ValueByRequestedTypeAndFallback) {
  const struct {
    const char* what;
    std::optional<Value> stored;  // nothing: the item lacks the property
    std::int32_t type;
    Value fallback, expected;
  } cases[] = {
      {"absent, text, fallback", std::nullopt, 8, Value::Text("n/a"), Value::Text("n/a")},
      {"empty value, text fallback", Value::Text(""), 8, Value::Text("n/a"), Value::Text("n/a")},
      {"value wins over fallback", Value::Text("Printers"), 8, Value::Text("n/a"),
       Value::Text("Printers")},
      {"number as text", Value::Integer(42), 8, Value(), Value::Text("42")},
      {"numeric value as stored", Value::Double(2.5), 2, Value(), Value::Double(2.5)},
      {"non-numeric value", Value::Text("many"), 2, Value(), Value::Integer(0)},
      {"absent, numeric fallback", std::nullopt, 2, Value::Double(7.5), Value::Integer(8)},
      {"absent, fallback out of range", std::nullopt, 2, Value::Integer(40000), Value()},
      {"date", Value::Text("2024-02-29"), 7, Value(), Value::Date(OleDate{45351})},
      {"absent date", std::nullopt, 7, Value::Text("2024-02-29"), Value::Date(OleDate{})},
      {"true/false", Value::Integer(1), 11, Value(), Value::Boolean(true)},
      {"absent, numeric fallback flag", std::nullopt, 11, Value::Integer(0), Value::Boolean(false)},
      {"other type", Value::Text("x"), 3, Value(), Value()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeItem item;
    if (c.stored) item.properties["Problem Type"] = *c.stored;
    EXPECT_EQ(fncGetOutlookValue(reporter, &item, "Problem Type", c.type, c.fallback), c.expected);
  }
}

// The name matches whatever its letter case; a failing item or none gives "", the step recorded.
TEST_F(PropertyAccessTest, TextByNameInAnyCaseAndNeverFailing) {
  FakeItem item;
  item.properties["problem category"] = Value::Text("Mail");
  EXPECT_EQ(PropertyText(reporter, &item, "Problem Category"), "Mail");
  item.failProperties = true;
  EXPECT_EQ(PropertyText(reporter, &item, "Problem Category"), "");
  EXPECT_EQ(reporter.fncGetCurrentStep(),
            "Reading the value of the Outlook property Problem Category");
  EXPECT_EQ(PropertyText(reporter, nullptr, "Problem Category"), "");
}

}  // namespace
}  // namespace lorva::outlook
