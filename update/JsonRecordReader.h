// Reading records from JSON: one strict pass over the text with RapidJSON's SAX reader that
// validates the text and builds records of one class through a JsonRecordBuilder.
//
// Rules: a member binds to the field named "F" + the member name, compared without regard to
// the case of the ASCII letters; members apply in document order (a repeated one once per
// occurrence) and unknown ones are skipped. Values convert by the field's kind:
// - Text: a string gives its text, a number its literal text, null the empty text;
// - Integer: a string or number whose text is a 32-bit decimal integer gives it, any other
//   text 0, null 0;
// - DateTime: a string or number is read as ISO 8601 text, null leaves the field as it was;
// - ByteCount: a string or number whose text is a decimal integer from 0 to 2^64 - 1 gives it,
//   null leaves the field as it was;
// - Sha256: a string of 64 hexadecimal digits (either case) gives the digest, null leaves the
//   field as it was.
// A ByteCount or Sha256 of any other text is refused with ConvertError("Invalid value for
// field <field> in JSON <the value's JSON text>"): a check the service asks for is never
// dropped. Any other JSON type (true, false, an object, an array) is refused with
// ConvertError("JSON object expected for field <field> in JSON <the value's JSON text>").
#pragma once

#include "platform/DateTime.h"
#include "platform/Sha256.h"

#include <cstdint>
#include <exception>
#include <span>
#include <string_view>

namespace corvane {

enum class JsonFieldKind { Text, Integer, DateTime, ByteCount, Sha256 };

struct JsonField {
    std::string_view name; // the field's name, "F" included; ASCII letters and digits only
    JsonFieldKind kind;
};

// True when the JSON member member binds to the field fieldName ("F" + name, ASCII case
// ignored). Field names consist of ASCII letters and digits only: for a letter, setting bit
// 0x20 on both sides compares exactly without regard to case; a digit must match as it is,
// since bit 0x20 would also let a control character pass for it, which only a name that
// matched so far is checked for. Inline: it runs for every member of every record.
inline bool JsonMemberBindsTo(std::string_view member, std::string_view fieldName) {
    if (fieldName.size() != member.size() + 1)
        return false;
    for (size_t i = 0; i < member.size(); ++i)
        if ((member[i] | 0x20) != (fieldName[i + 1] | 0x20))
            return false;
    for (size_t i = 0; i < member.size(); ++i)
        if (fieldName[i + 1] <= '9' && member[i] != fieldName[i + 1])
            return false;
    return true;
}

constexpr bool IsJsonFieldName(std::string_view name) {
    for (const char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return !name.empty() && !(name.front() >= '0' && name.front() <= '9');
}

// The class of the records a reading builds.
class JsonRecordBuilder {
public:
    virtual ~JsonRecordBuilder() = default;
    // The record class's fields; the setters below take an index into them.
    virtual std::span<const JsonField> Fields() const = 0;
    // A new record with every field empty or 0.
    virtual void Begin() = 0;
    virtual void SetText(int field, std::string_view value) = 0;
    virtual void SetInteger(int field, std::int32_t value) = 0;
    virtual void SetDateTime(int field, DateTime value) = 0;
    virtual void SetByteCount(int field, std::uint64_t value) = 0;
    virtual void SetSha256(int field, const Sha256Digest& value) = 0;
    // The record is complete: keep it after those kept before.
    virtual void Commit() = 0;
    // The record failed: free it.
    virtual void Discard() = 0;
    // Free every record kept so far (the text is read once more).
    virtual void Reset() = 0;
};

enum class JsonRoot { None, Array, Object, Other };

struct JsonReadResult {
    bool valid = false; // the text is one valid JSON value
    JsonRoot root = JsonRoot::None;
    size_t elementCount = 0;      // elements of the root array (listing)
    bool tooManyElements = false; // the root array has more elements than allowed; the text
                                  // was read no further (Valid is false)
    std::exception_ptr error;     // the first record error; no record was kept after it
};

// Reads json: with listing a root array whose elements are records (an element that is not
// an object is the error ConvertError("The input value is not a valid Object")); else a root
// object that is the one record. Record errors are collected, not raised, so that the caller
// can first judge the text's validity and root. A listing whose array has more than
// maxElements elements ends the reading there.
JsonReadResult ReadJsonRecords(std::string_view json, bool listing, JsonRecordBuilder& builder,
                               size_t maxElements = static_cast<size_t>(-1));

} // namespace corvane
