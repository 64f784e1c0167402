#include "outlook/property_access.h"

#include <cmath>
#include <optional>

#include "base/steps.h"

namespace lorva::outlook {

namespace {

// A number converted to a 16-bit integer as Visual Basic's CInt does: rounded half to even;
// nothing when out of range.
std::optional<std::int16_t> ToInteger16(double number) {
  const double rounded = std::nearbyint(number);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

}  // namespace

Value fncGetOutlookValue(ErrorReporter& reporter, OutlookItem* item,
                         const std::string& propertyName, std::int32_t valueType,
                         const Value& defaultValue) {
  reporter.subLogStep("Reading the value of the Outlook property " + propertyName);
  std::shared_ptr<UserProperty> property;
  if (item) {
    SkipOnFailure([&] {
      auto properties = item->UserProperties();
      if (properties) property = properties->Find(propertyName);
    });
  }

  Value result;
  if (property) {
    auto value = ValueOrNothing([&] { return property->GetValue(); });
    if (!value) return result;  // a failing read leaves the result empty
    switch (valueType) {
      case vartype::kInteger:
        result = value->IsNumeric() ? *value : Value::Integer(0);
        break;
      case vartype::kDate:
        result = Value::Date(value->IsDate() ? value->AsDate() : OleDate{});
        break;
      case vartype::kString: {
        std::string text = value->AsText();
        std::string fallback = defaultValue.AsText();
        result = Value::Text(text.empty() && !fallback.empty() ? fallback : text);
        break;
      }
      case vartype::kBoolean:
        if (auto flag = ValueOrNothing([&] { return value->AsBoolean(); })) {
          result = Value::Boolean(*flag);
        }
        break;
      default:
        break;
    }
    return result;
  }

  switch (valueType) {
    case vartype::kInteger:
      if (defaultValue.IsNumeric()) {
        if (auto number = ToInteger16(defaultValue.AsNumber())) result = Value::Integer(*number);
      } else {
        result = Value::Integer(0);
      }
      break;
    case vartype::kDate:
      result = Value::Date(OleDate{});
      break;
    case vartype::kString:
      result = Value::Text(defaultValue.AsText());
      break;
    case vartype::kBoolean:
      if (defaultValue.IsNumeric()) result = Value::Boolean(defaultValue.AsNumber() != 0.0);
      break;
    default:
      break;
  }
  return result;
}

std::string PropertyText(ErrorReporter& reporter, OutlookItem* item,
                         const std::string& propertyName) {
  return fncGetOutlookValue(reporter, item, propertyName, vartype::kString, Value::Text(""))
      .AsText();
}

}  // namespace lorva::outlook
