// Reading an item's user property (a named custom field such as "Problem Category") as a value of
// a requested type, with a fallback when the item lacks it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/outlook/object_model.h"
#include "platform/outlook/value.h"
#include "support/error_reporter.h"

namespace lorva::outlook {

// Requested value types (Visual Basic's VarType codes).
namespace vartype {
inline constexpr std::int32_t kInteger = 2;
inline constexpr std::int32_t kDate = 7;
inline constexpr std::int32_t kString = 8;
inline constexpr std::int32_t kBoolean = 11;
}  // namespace vartype

// The value of the user property `propertyName` of `item` as `valueType` (2, 7, 8 or 11; any
// other type gives the empty value), or the fallback `defaultValue` as that type when the item
// lacks it (and, for text, when the property's text is empty). `item` may be nothing. Records
// the progress step "Reading the value of the Outlook property " & name. Never throws an Error.
Value fncGetOutlookValue(ErrorReporter& reporter, OutlookItem* item,
                         const std::string& propertyName, std::int32_t valueType,
                         const Value& defaultValue);

// The common call of the runs and the list filling: the property as text, "" when absent.
std::string PropertyText(ErrorReporter& reporter, OutlookItem* item,
                         const std::string& propertyName);

}  // namespace lorva::outlook
