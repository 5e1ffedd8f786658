#include "update/JsonRecordReader.h"

#include "platform/Errors.h"
#include "update/Iso8601.h"
#include "update/JsonNumbers.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cstring>
#include <optional>
#include <string>

namespace corvane {

namespace {

// Strict standard JSON: no comments, trailing commas or NaN (all off by default), nothing but
// whitespace after the value. Numbers come as their literal text; the parser's own stack lives
// on the heap, so deep nesting cannot overflow the thread's stack.
constexpr unsigned kParseFlags = rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseValidateEncodingFlag |
                                 rapidjson::kParseIterativeFlag;

// A decimal integer of 32 bits ("404", "-1", "+7"); anything else (404.0, letters, empty
// text, out of range) is 0.
std::int32_t DecimalOrZero(std::string_view AText) {
    if (!AText.empty() && AText.front() == '+')
        AText.remove_prefix(1);
    if (AText.empty() || AText.front() == '+')
        return 0;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
    return ec == std::errc() && end == AText.data() + AText.size() ? value : 0;
}

// A count of bytes: decimal digits alone, from 0 to 2^64 - 1.
std::optional<std::uint64_t> ByteCountOf(std::string_view text) {
    std::uint64_t value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The parser turns a "\uDC00" escape without its partner into the bytes of a lone surrogate,
// which is not UTF-8; such text is refused like any other invalid string. (Raw input bytes are
// validated by the parser, so these bytes can only come from an escape.)
bool HasLoneSurrogate(const char* AText, rapidjson::SizeType ALength) {
    for (rapidjson::SizeType i = 0; i + 1 < ALength; ++i)
        if (AText[i] == '\xED' && static_cast<unsigned char>(AText[i + 1]) >= 0xA0)
            return true;
    return false;
}

// True when the raw text may hold an escape of a low surrogate ("\uDC00" to "\uDFFF"); only
// then can the parser's output hold a lone one, so only then are its strings checked.
bool MayHoldLowSurrogateEscape(std::string_view AJson) {
    const char* p = AJson.data();
    const char* const end = p + AJson.size();
    while ((p = static_cast<const char*>(std::memchr(p, '\\', end - p))) != nullptr) {
        if (end - p >= 4 && p[1] == 'u' && (p[2] == 'd' || p[2] == 'D') &&
            ((p[3] >= 'c' && p[3] <= 'f') || (p[3] >= 'C' && p[3] <= 'F')))
            return true;
        ++p;
    }
    return false;
}

// The SAX handler. It tracks the nesting depth to tell the root, the elements of a listing,
// a record's members and anything deeper apart; records are built only until the first
// record error, while the parser goes on to judge the rest of the text.
class THandler {
public:
    using Ch = char;

    THandler(bool AListing, bool ACheckSurrogates, size_t AMaxElements,
             TJsonRecordBuilder& ABuilder)
        : FListing(AListing), FCheckSurrogates(ACheckSurrogates), FRecordDepth(AListing ? 2 : 1),
          FMaxElements(AMaxElements), FBuilder(ABuilder), FFields(ABuilder.Fields()) {}

    // Starts over for a second reading through AStream, whose numbers are stand-ins: their
    // literals are then taken from AText at the stream's position.
    void Restart(std::string_view AText, const rapidjson::MemoryStream* AStream) {
        FBuilder.Reset();
        FResult = {};
        FDepth = 0;
        FInRecord = false;
        FField = -1;
        FCapture.reset();
        FNumbersText = AText;
        FStream = AStream;
    }

    TJsonReadResult& Result() { return FResult; }

    bool Null() { return Scalar(TValue::Null, "null"); }
    bool Bool(bool b) { return Scalar(TValue::Bool, b ? "true" : "false"); }
    bool RawNumber(const char* AText, rapidjson::SizeType ALength, bool) {
        std::string_view literal(AText, ALength);
        if (FStream != nullptr) {
            const size_t start = FStream->Tell() - ALength;
            literal = FNumbersText.substr(start, JsonNumberLength(FNumbersText, start));
        }
        if (FCapture) {
            // RawValue, as the writer's RawNumber would quote the literal.
            FCapture->RawValue(literal.data(), literal.size(), rapidjson::kNumberType);
            return true;
        }
        return Scalar(TValue::Number, literal);
    }
    // Not inlined: kept out of the parser's string loop, the parser inlines that loop's own
    // calls (the UTF-8 validation) more readily.
    [[gnu::noinline]] bool String(const char* AText, rapidjson::SizeType ALength, bool) {
        if (FCheckSurrogates && HasLoneSurrogate(AText, ALength))
            return false;
        if (FCapture) {
            FCapture->String(AText, ALength);
            return true;
        }
        return Scalar(TValue::String, std::string_view(AText, ALength));
    }
    [[gnu::noinline]] bool Key(const char* AText, rapidjson::SizeType ALength, bool) {
        if (FCheckSurrogates && HasLoneSurrogate(AText, ALength))
            return false;
        if (FCapture)
            FCapture->Key(AText, ALength);
        else if (FInRecord && FDepth == FRecordDepth) {
            FField = FindField(std::string_view(AText, ALength));
            if (FField >= 0)
                FFieldKind = FFields[FField].Kind;
        }
        return true;
    }
    bool StartObject() { return Open(true); }
    bool EndObject(rapidjson::SizeType) { return Close(true); }
    bool StartArray() { return Open(false); }
    bool EndArray(rapidjson::SizeType) { return Close(false); }
    // Never called: numbers arrive as RawNumber.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }

private:
    enum class TValue { Null, Bool, Number, String };

    // The index of the field bound to a member name, or -1.
    int FindField(std::string_view AMember) const {
        for (size_t i = 0; i < FFields.size(); ++i)
            if (JsonMemberBindsTo(AMember, FFields[i].Name))
                return static_cast<int>(i);
        return -1;
    }

    bool Scalar(TValue AType, std::string_view AText) {
        if (FCapture) {
            if (AType == TValue::Null)
                FCapture->Null();
            else
                FCapture->Bool(AText == "true");
        } else if (FDepth == 0) {
            FResult.Root = TJsonRoot::Other;
        } else if (FListing && FDepth == 1 && FResult.Root == TJsonRoot::Array) {
            return StartElement(false);
        } else if (FInRecord && FDepth == FRecordDepth && FField >= 0) {
            Apply(AType, AText);
        }
        return true;
    }

    bool Open(bool AObject) {
        if (FCapture) {
            AObject ? FCapture->StartObject() : FCapture->StartArray();
        } else if (FDepth == 0) {
            FResult.Root = AObject ? TJsonRoot::Object : TJsonRoot::Array;
            if (!FListing && AObject)
                BeginRecord();
        } else if (FListing && FDepth == 1 && FResult.Root == TJsonRoot::Array) {
            if (!StartElement(AObject))
                return false;
        } else if (FInRecord && FDepth == FRecordDepth && FField >= 0) {
            // An object or array for a field: its JSON text goes into the error message.
            FCaptureBuffer.Clear();
            FCapture.emplace(FCaptureBuffer);
            FCaptureDepth = FDepth;
            AObject ? FCapture->StartObject() : FCapture->StartArray();
        }
        ++FDepth;
        return true;
    }

    bool Close(bool AObject) {
        --FDepth;
        if (FCapture) {
            AObject ? FCapture->EndObject() : FCapture->EndArray();
            if (FDepth == FCaptureDepth) {
                FCapture.reset();
                WrongType(std::string_view(FCaptureBuffer.GetString(), FCaptureBuffer.GetSize()));
            }
        } else if (FInRecord && FDepth == FRecordDepth - 1) {
            FInRecord = false;
            FBuilder.Commit();
        }
        return true;
    }

    void BeginRecord() {
        FBuilder.Begin();
        FInRecord = true;
        FField = -1;
    }

    // False ends the reading: the listing has more elements than allowed.
    bool StartElement(bool AObject) {
        if (FResult.ElementCount == FMaxElements) {
            FResult.TooManyElements = true;
            return false;
        }
        ++FResult.ElementCount;
        if (FResult.Error)
            return true;
        if (AObject)
            BeginRecord();
        else
            SetError(
                std::make_exception_ptr(EConvertError("The input value is not a valid Object")));
        return true;
    }

    void Apply(TValue AType, std::string_view AText) {
        if (AType == TValue::Bool) {
            WrongType(AText);
            return;
        }
        switch (FFieldKind) {
        case TJsonFieldKind::Text:
            FBuilder.SetText(FField, AType == TValue::Null ? std::string_view() : AText);
            break;
        case TJsonFieldKind::Integer:
            FBuilder.SetInteger(FField, AType == TValue::Null ? 0 : DecimalOrZero(AText));
            break;
        case TJsonFieldKind::DateTime:
            if (AType == TValue::Null)
                break; // the field stays as it was
            try {
                FBuilder.SetDateTime(FField, ISO8601ToDate(AText));
            } catch (const Exception&) {
                SetError(std::current_exception());
            }
            break;
        case TJsonFieldKind::ByteCount:
        case TJsonFieldKind::Sha256:
            if (AType != TValue::Null)
                ApplyCheck(AType, AText);
            break;
        }
    }

    // A size or a hash: out of the way of the names and ages that every listing holds.
    [[gnu::noinline]] void ApplyCheck(TValue type, std::string_view text) {
        if (FFieldKind == TJsonFieldKind::ByteCount) {
            if (const std::optional<std::uint64_t> count = ByteCountOf(text))
                return FBuilder.SetByteCount(FField, *count);
        } else if (const std::optional<Sha256Digest> digest = Sha256FromHex(text)) {
            return FBuilder.SetSha256(FField, *digest);
        }
        InvalidValue(type, text);
    }

    // A value of the right JSON type that the field cannot take.
    [[gnu::noinline, gnu::cold]] void InvalidValue(TValue type, std::string_view text) {
        std::string message = "Invalid value for field ";
        message.append(FFields[FField].Name);
        message.append(" in JSON ");
        if (type == TValue::String) {
            rapidjson::StringBuffer quoted;
            rapidjson::Writer<rapidjson::StringBuffer> writer(quoted);
            writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
            message.append(quoted.GetString(), quoted.GetSize());
        } else {
            message.append(text);
        }
        SetError(std::make_exception_ptr(EConvertError(message)));
    }

    // A value of a JSON type the field cannot take (true, false, an object, an array).
    void WrongType(std::string_view AValueText) {
        std::string message = "JSON object expected for field ";
        message.append(FFields[FField].Name);
        message.append(" in JSON ");
        message.append(AValueText);
        SetError(std::make_exception_ptr(EConvertError(message)));
    }

    void SetError(std::exception_ptr AError) {
        if (!FResult.Error)
            FResult.Error = std::move(AError);
        if (FInRecord)
            FBuilder.Discard();
        FInRecord = false;
        FField = -1;
    }

    const bool FListing;
    const bool FCheckSurrogates;
    const size_t FRecordDepth; // the depth of a record's members
    const size_t FMaxElements;
    TJsonRecordBuilder& FBuilder;
    const std::span<const TJsonField> FFields;
    TJsonReadResult FResult;
    size_t FDepth = 0; // containers open around the current event
    bool FInRecord = false;
    int FField = -1; // the field bound to the current member
    TJsonFieldKind FFieldKind = TJsonFieldKind::Text;
    rapidjson::StringBuffer FCaptureBuffer;
    std::optional<rapidjson::Writer<rapidjson::StringBuffer>> FCapture;
    size_t FCaptureDepth = 0;
    std::string_view FNumbersText;
    const rapidjson::MemoryStream* FStream = nullptr;
};

} // namespace

TJsonReadResult ReadJsonRecords(std::string_view AJson, bool AListing, TJsonRecordBuilder& ABuilder,
                                size_t AMaxElements) {
    // Empty text is no JSON (and may come without a buffer at all). The parser reads a NUL
    // byte as the end of the text; no valid JSON text holds one.
    if (AJson.empty() || std::memchr(AJson.data(), '\0', AJson.size()) != nullptr)
        return {};
    THandler handler(AListing, MayHoldLowSurrogateEscape(AJson), AMaxElements, ABuilder);
    rapidjson::Reader reader;
    {
        rapidjson::MemoryStream stream(AJson.data(), AJson.size());
        reader.Parse<kParseFlags>(stream, handler);
    }
    if (reader.HasParseError() &&
        reader.GetParseErrorCode() == rapidjson::kParseErrorNumberTooBig) {
        // The parser refuses numbers beyond the range of a double, which are still valid
        // JSON. Read the text once more with every number replaced by a stand-in of the same
        // length; the handler takes the literals from the original text.
        const std::string shortened = ShortenJsonNumbers(AJson);
        rapidjson::MemoryStream stream(shortened.data(), shortened.size());
        handler.Restart(AJson, &stream);
        reader.Parse<kParseFlags>(stream, handler);
    }
    TJsonReadResult& result = handler.Result();
    result.Valid = !reader.HasParseError();
    return std::move(result);
}

} // namespace corvane
