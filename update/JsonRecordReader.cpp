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
std::int32_t DecimalOrZero(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return 0;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : 0;
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
bool HasLoneSurrogate(const char* text, rapidjson::SizeType length) {
    for (rapidjson::SizeType i = 0; i + 1 < length; ++i)
        if (text[i] == '\xED' && static_cast<unsigned char>(text[i + 1]) >= 0xA0)
            return true;
    return false;
}

// True when the raw text may hold an escape of a low surrogate ("\uDC00" to "\uDFFF"); only
// then can the parser's output hold a lone one, so only then are its strings checked.
bool MayHoldLowSurrogateEscape(std::string_view json) {
    const char* p = json.data();
    const char* const end = p + json.size();
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
class Handler {
public:
    using Ch = char;

    Handler(bool listing, bool checkSurrogates, size_t maxElements, JsonRecordBuilder& builder)
        : listing_(listing), checkSurrogates_(checkSurrogates), recordDepth_(listing ? 2 : 1),
          maxElements_(maxElements), builder_(builder), fields_(builder.Fields()) {}

    // Starts over for a second reading through stream, whose numbers are stand-ins: their
    // literals are then taken from text at the stream's position.
    void Restart(std::string_view text, const rapidjson::MemoryStream* stream) {
        builder_.Reset();
        result_ = {};
        depth_ = 0;
        inRecord_ = false;
        field_ = -1;
        capture_.reset();
        numbersText_ = text;
        stream_ = stream;
    }

    JsonReadResult& Result() { return result_; }

    bool Null() { return Scalar(Value::Null, "null"); }
    bool Bool(bool b) { return Scalar(Value::Bool, b ? "true" : "false"); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        std::string_view literal(text, length);
        if (stream_ != nullptr) {
            const size_t start = stream_->Tell() - length;
            literal = numbersText_.substr(start, JsonNumberLength(numbersText_, start));
        }
        if (capture_) {
            // RawValue, as the writer's RawNumber would quote the literal.
            capture_->RawValue(literal.data(), literal.size(), rapidjson::kNumberType);
            return true;
        }
        return Scalar(Value::Number, literal);
    }
    // Not inlined: kept out of the parser's string loop, the parser inlines that loop's own
    // calls (the UTF-8 validation) more readily.
    [[gnu::noinline]] bool String(const char* text, rapidjson::SizeType length, bool) {
        if (checkSurrogates_ && HasLoneSurrogate(text, length))
            return false;
        if (capture_) {
            capture_->String(text, length);
            return true;
        }
        return Scalar(Value::String, std::string_view(text, length));
    }
    [[gnu::noinline]] bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (checkSurrogates_ && HasLoneSurrogate(text, length))
            return false;
        if (capture_)
            capture_->Key(text, length);
        else if (inRecord_ && depth_ == recordDepth_) {
            field_ = FindField(std::string_view(text, length));
            if (field_ >= 0)
                fieldKind_ = fields_[field_].kind;
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
    enum class Value { Null, Bool, Number, String };

    // The index of the field bound to a member name, or -1.
    int FindField(std::string_view member) const {
        for (size_t i = 0; i < fields_.size(); ++i)
            if (JsonMemberBindsTo(member, fields_[i].name))
                return static_cast<int>(i);
        return -1;
    }

    bool Scalar(Value type, std::string_view text) {
        if (capture_) {
            if (type == Value::Null)
                capture_->Null();
            else
                capture_->Bool(text == "true");
        } else if (depth_ == 0) {
            result_.root = JsonRoot::Other;
        } else if (listing_ && depth_ == 1 && result_.root == JsonRoot::Array) {
            return StartElement(false);
        } else if (inRecord_ && depth_ == recordDepth_ && field_ >= 0) {
            Apply(type, text);
        }
        return true;
    }

    bool Open(bool object) {
        if (capture_) {
            object ? capture_->StartObject() : capture_->StartArray();
        } else if (depth_ == 0) {
            result_.root = object ? JsonRoot::Object : JsonRoot::Array;
            if (!listing_ && object)
                BeginRecord();
        } else if (listing_ && depth_ == 1 && result_.root == JsonRoot::Array) {
            if (!StartElement(object))
                return false;
        } else if (inRecord_ && depth_ == recordDepth_ && field_ >= 0) {
            // An object or array for a field: its JSON text goes into the error message.
            captureBuffer_.Clear();
            capture_.emplace(captureBuffer_);
            captureDepth_ = depth_;
            object ? capture_->StartObject() : capture_->StartArray();
        }
        ++depth_;
        return true;
    }

    bool Close(bool object) {
        --depth_;
        if (capture_) {
            object ? capture_->EndObject() : capture_->EndArray();
            if (depth_ == captureDepth_) {
                capture_.reset();
                WrongType(std::string_view(captureBuffer_.GetString(), captureBuffer_.GetSize()));
            }
        } else if (inRecord_ && depth_ == recordDepth_ - 1) {
            inRecord_ = false;
            builder_.Commit();
        }
        return true;
    }

    void BeginRecord() {
        builder_.Begin();
        inRecord_ = true;
        field_ = -1;
    }

    // False ends the reading: the listing has more elements than allowed.
    bool StartElement(bool object) {
        if (result_.elementCount == maxElements_) {
            result_.tooManyElements = true;
            return false;
        }
        ++result_.elementCount;
        if (result_.error)
            return true;
        if (object)
            BeginRecord();
        else
            SetError(
                std::make_exception_ptr(ConvertError("The input value is not a valid Object")));
        return true;
    }

    void Apply(Value type, std::string_view text) {
        if (type == Value::Bool) {
            WrongType(text);
            return;
        }
        switch (fieldKind_) {
        case JsonFieldKind::Text:
            builder_.SetText(field_, type == Value::Null ? std::string_view() : text);
            break;
        case JsonFieldKind::Integer:
            builder_.SetInteger(field_, type == Value::Null ? 0 : DecimalOrZero(text));
            break;
        case JsonFieldKind::DateTime:
            if (type == Value::Null)
                break; // the field stays as it was
            try {
                builder_.SetDateTime(field_, ISO8601ToDate(text));
            } catch (const Exception&) {
                SetError(std::current_exception());
            }
            break;
        case JsonFieldKind::ByteCount:
        case JsonFieldKind::Sha256:
            if (type != Value::Null)
                ApplyCheck(type, text);
            break;
        }
    }

    // A size or a hash: out of the way of the names and ages that every listing holds.
    [[gnu::noinline]] void ApplyCheck(Value type, std::string_view text) {
        if (fieldKind_ == JsonFieldKind::ByteCount) {
            if (const std::optional<std::uint64_t> count = ByteCountOf(text))
                return builder_.SetByteCount(field_, *count);
        } else if (const std::optional<Sha256Digest> digest = Sha256FromHex(text)) {
            return builder_.SetSha256(field_, *digest);
        }
        InvalidValue(type, text);
    }

    // A value of the right JSON type that the field cannot take.
    [[gnu::noinline, gnu::cold]] void InvalidValue(Value type, std::string_view text) {
        std::string message = "Invalid value for field ";
        message.append(fields_[field_].name);
        message.append(" in JSON ");
        if (type == Value::String) {
            rapidjson::StringBuffer quoted;
            rapidjson::Writer<rapidjson::StringBuffer> writer(quoted);
            writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
            message.append(quoted.GetString(), quoted.GetSize());
        } else {
            message.append(text);
        }
        SetError(std::make_exception_ptr(ConvertError(message)));
    }

    // A value of a JSON type the field cannot take (true, false, an object, an array).
    void WrongType(std::string_view valueText) {
        std::string message = "JSON object expected for field ";
        message.append(fields_[field_].name);
        message.append(" in JSON ");
        message.append(valueText);
        SetError(std::make_exception_ptr(ConvertError(message)));
    }

    void SetError(std::exception_ptr error) {
        if (!result_.error)
            result_.error = std::move(error);
        if (inRecord_)
            builder_.Discard();
        inRecord_ = false;
        field_ = -1;
    }

    const bool listing_;
    const bool checkSurrogates_;
    const size_t recordDepth_; // the depth of a record's members
    const size_t maxElements_;
    JsonRecordBuilder& builder_;
    const std::span<const JsonField> fields_;
    JsonReadResult result_;
    size_t depth_ = 0; // containers open around the current event
    bool inRecord_ = false;
    int field_ = -1; // the field bound to the current member
    JsonFieldKind fieldKind_ = JsonFieldKind::Text;
    rapidjson::StringBuffer captureBuffer_;
    std::optional<rapidjson::Writer<rapidjson::StringBuffer>> capture_;
    size_t captureDepth_ = 0;
    std::string_view numbersText_;
    const rapidjson::MemoryStream* stream_ = nullptr;
};

} // namespace

JsonReadResult ReadJsonRecords(std::string_view json, bool listing, JsonRecordBuilder& builder,
                               size_t maxElements) {
    // Empty text is no JSON (and may come without a buffer at all). The parser reads a NUL
    // byte as the end of the text; no valid JSON text holds one.
    if (json.empty() || std::memchr(json.data(), '\0', json.size()) != nullptr)
        return {};
    Handler handler(listing, MayHoldLowSurrogateEscape(json), maxElements, builder);
    rapidjson::Reader reader;
    {
        rapidjson::MemoryStream stream(json.data(), json.size());
        reader.Parse<kParseFlags>(stream, handler);
    }
    if (reader.HasParseError() &&
        reader.GetParseErrorCode() == rapidjson::kParseErrorNumberTooBig) {
        // The parser refuses numbers beyond the range of a double, which are still valid
        // JSON. Read the text once more with every number replaced by a stand-in of the same
        // length; the handler takes the literals from the original text.
        const std::string shortened = ShortenJsonNumbers(json);
        rapidjson::MemoryStream stream(shortened.data(), shortened.size());
        handler.Restart(json, &stream);
        reader.Parse<kParseFlags>(stream, handler);
    }
    JsonReadResult& result = handler.Result();
    result.valid = !reader.HasParseError();
    return std::move(result);
}

} // namespace corvane
