#pragma once

// Message texts of the dataset layer. Texts with %s, %d or %g are formats for
// tessel::Format and are always formatted before they are raised. They live in
// their own namespace so the package's own message identifiers can reuse names.

namespace tessel::dbconsts {

inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldIndexError = "Field index %d out of range";
inline constexpr const char* SFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldSizeMismatch =
    "Size mismatch for field '%s', expecting: %d actual: %d";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SInvalidIntegerValue =
    "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SInvalidFloatValue =
    "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SInvalidDecimalValue =
    "'%s' is not a valid decimal value for field '%s'";
inline constexpr const char* SInvalidCurrencyValue =
    "'%s' is not a valid currency value for field '%s'";
inline constexpr const char* SFieldScaleError = "'%s' has more decimals than field '%s' holds (%d)";
inline constexpr const char* SInvalidValue = "'%s' is not a valid value for field '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SInvalidDateValue = "'%s' is not a valid date for field '%s'";
inline constexpr const char* SInvalidTimeValue = "'%s' is not a valid time for field '%s'";
inline constexpr const char* SInvalidDateTimeValue =
    "'%s' is not a valid date and time for field '%s'";
inline constexpr const char* SFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SStringTooLong =
    "'%s' is too long for field '%s' (at most %d characters)";
inline constexpr const char* SStringHasZero =
    "The value for field '%s' contains a zero character, which a string field cannot hold";
inline constexpr const char* SBytesTooLong = "A value of %d bytes is too long for field '%s' (%d)";
inline constexpr const char* SInvalidCalcType = "Field '%s' cannot be a calculated or lookup field";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SDataSourceChange = "DataSource cannot be changed";
inline constexpr const char* SDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* SNotSupported = "Operation not supported by dataset '%s': %s";
inline constexpr const char* SBlobNoStream = "Dataset of field '%s' gives no blob stream";
inline constexpr const char* SFieldDefNotFound = "Field definition '%s' not found";

}  // namespace tessel::dbconsts
