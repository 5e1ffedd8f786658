#include "Corvane.JSon.DTO.FileList.h"

#include "Corvane.DateUtils.ISO8601.h"
#include "Corvane.Errors.h"
#include "Corvane.JSon.Numbers.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cstring>
#include <exception>
#include <optional>

namespace corvane {

namespace {

// Strict standard JSON: no comments, trailing commas or NaN (all off by default), nothing but
// whitespace after the value. Numbers come as their literal text; the parser's own stack lives
// on the heap, so deep nesting cannot overflow the thread's stack.
constexpr unsigned kParseFlags = rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseValidateEncodingFlag |
                                 rapidjson::kParseIterativeFlag;

enum class TFieldKind { Text, Integer, DateTime };

template <class T> struct TField {
    std::string_view Name; // the field's name, "F" included
    TFieldKind Kind;
    std::string T::*Text = nullptr;
    std::int32_t T::*Integer = nullptr;
    TDateTime T::*DateTime = nullptr;
};

template <class T> struct TFieldsOf;

template <> struct TFieldsOf<TFileInfoDTO> {
    static constexpr TField<TFileInfoDTO> Fields[] = {
        {"FAge", TFieldKind::DateTime, nullptr, nullptr, &TFileInfoDTO::FAge},
        {"FFileName", TFieldKind::Text, &TFileInfoDTO::FFileName},
    };
};

template <> struct TFieldsOf<TFileInfoErrorDTO> {
    static constexpr TField<TFileInfoErrorDTO> Fields[] = {
        {"FError", TFieldKind::Text, &TFileInfoErrorDTO::FError},
        {"FStatus", TFieldKind::Integer, nullptr, &TFileInfoErrorDTO::FStatus},
        {"FDetail", TFieldKind::Text, &TFileInfoErrorDTO::FDetail},
    };
};

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The field bound to a member: the one named "F" + the member name, ASCII case ignored.
template <class T> const TField<T>* FindField(std::string_view AMember) {
    for (const TField<T>& field : TFieldsOf<T>::Fields) {
        const std::string_view rest = field.Name.substr(1);
        if (rest.size() != AMember.size())
            continue;
        size_t i = 0;
        while (i < rest.size() && AsciiUpper(rest[i]) == AsciiUpper(AMember[i]))
            ++i;
        if (i == rest.size())
            return &field;
    }
    return nullptr;
}

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

// The parser turns a "\uDC00" escape without its partner into the bytes of a lone surrogate,
// which is not UTF-8; such text is refused like any other invalid string. (Raw input bytes are
// validated by the parser, so these bytes can only come from an escape.)
bool HasLoneSurrogate(const char* AText, rapidjson::SizeType ALength) {
    const char* p = AText;
    const char* const end = AText + ALength;
    while ((p = static_cast<const char*>(std::memchr(p, '\xED', end - p))) != nullptr) {
        if (end - p >= 2 && static_cast<unsigned char>(p[1]) >= 0xA0)
            return true;
        ++p;
    }
    return false;
}

enum class TRoot { None, Array, Object, Other };

// One SAX pass over the text that both validates it and builds the records. The first record
// error is kept and raised only once the whole text proved valid JSON, so that a broken text
// always reports itself as such; records are no longer built after that error.
template <class T> class TRecordHandler {
public:
    using Ch = char;

    // AListing: the root is expected to be an array of records; else the root is one record.
    TRecordHandler(bool AListing, std::vector<std::unique_ptr<T>>& ARecords)
        : FListing(AListing), FRecordDepth(AListing ? 2 : 1), FRecords(ARecords) {}

    // Starts over for a second reading of the text through AStream, whose numbers are
    // stand-ins: their literals are then taken from AText at the stream's position.
    void Restart(std::string_view AText, const rapidjson::MemoryStream* AStream) {
        FRoot = TRoot::None;
        FDepth = 0;
        FElementCount = 0;
        FRecord.reset();
        FField = nullptr;
        FError = nullptr;
        FCapture.reset();
        FNumbersText = AText;
        FStream = AStream;
    }

    TRoot Root() const { return FRoot; }
    size_t ElementCount() const { return FElementCount; }
    void RethrowError() const {
        if (FError)
            std::rethrow_exception(FError);
    }

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
    bool String(const char* AText, rapidjson::SizeType ALength, bool) {
        if (HasLoneSurrogate(AText, ALength))
            return false;
        if (FCapture) {
            FCapture->String(AText, ALength);
            return true;
        }
        return Scalar(TValue::String, std::string_view(AText, ALength));
    }
    bool Key(const char* AText, rapidjson::SizeType ALength, bool) {
        if (HasLoneSurrogate(AText, ALength))
            return false;
        if (FCapture)
            FCapture->Key(AText, ALength);
        else if (FRecord && FDepth == FRecordDepth)
            FField = FindField<T>(std::string_view(AText, ALength));
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

    bool Scalar(TValue AType, std::string_view AText) {
        if (FCapture) {
            if (AType == TValue::Null)
                FCapture->Null();
            else
                FCapture->Bool(AText == "true");
            return true;
        }
        if (FDepth == 0)
            FRoot = TRoot::Other;
        else if (FListing && FDepth == 1 && FRoot == TRoot::Array)
            StartElement(false);
        else if (FRecord && FDepth == FRecordDepth && FField)
            Apply(AType, AText);
        return true;
    }

    bool Open(bool AObject) {
        if (FCapture) {
            AObject ? FCapture->StartObject() : FCapture->StartArray();
        } else if (FDepth == 0) {
            FRoot = AObject ? TRoot::Object : TRoot::Array;
            if (!FListing && AObject)
                FRecord = std::make_unique<T>();
        } else if (FListing && FDepth == 1 && FRoot == TRoot::Array) {
            StartElement(AObject);
        } else if (FRecord && FDepth == FRecordDepth && FField) {
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
        } else if (FRecord && FDepth == FRecordDepth - 1) {
            FRecords.push_back(std::move(FRecord));
        }
        return true;
    }

    void StartElement(bool AObject) {
        ++FElementCount;
        if (FError)
            return;
        if (AObject)
            FRecord = std::make_unique<T>();
        else
            SetError(
                std::make_exception_ptr(EConvertError("The input value is not a valid Object")));
    }

    void Apply(TValue AType, std::string_view AText) {
        if (AType == TValue::Bool) {
            WrongType(AText);
            return;
        }
        T& record = *FRecord;
        switch (FField->Kind) {
        case TFieldKind::Text:
            if (AType == TValue::Null)
                (record.*FField->Text).clear();
            else
                (record.*FField->Text).assign(AText);
            break;
        case TFieldKind::Integer:
            record.*FField->Integer = AType == TValue::Null ? 0 : DecimalOrZero(AText);
            break;
        case TFieldKind::DateTime:
            if (AType == TValue::Null)
                break; // the age stays as it was
            try {
                record.*FField->DateTime = ISO8601ToDate(AText);
            } catch (const Exception&) {
                SetError(std::current_exception());
            }
            break;
        }
    }

    // A value of a JSON type the field cannot take (true, false, an object, an array).
    void WrongType(std::string_view AValueText) {
        std::string message = "JSON object expected for field ";
        message.append(FField->Name);
        message.append(" in JSON ");
        message.append(AValueText);
        SetError(std::make_exception_ptr(EConvertError(message)));
    }

    void SetError(std::exception_ptr AError) {
        if (!FError)
            FError = std::move(AError);
        FRecord.reset();
        FField = nullptr;
    }

    const bool FListing;
    const size_t FRecordDepth; // depth of a record's members
    std::vector<std::unique_ptr<T>>& FRecords;
    TRoot FRoot = TRoot::None;
    size_t FDepth = 0; // containers open around the current event
    size_t FElementCount = 0;
    std::unique_ptr<T> FRecord;        // the record being built
    const TField<T>* FField = nullptr; // the field bound to the current member
    std::exception_ptr FError;
    rapidjson::StringBuffer FCaptureBuffer;
    std::optional<rapidjson::Writer<rapidjson::StringBuffer>> FCapture;
    size_t FCaptureDepth = 0;
    std::string_view FNumbersText;
    const rapidjson::MemoryStream* FStream = nullptr;
};

// Reads AJson into ARecords; false when it is not valid JSON.
template <class T>
bool ParseRecords(std::string_view AJson, TRecordHandler<T>& AHandler,
                  std::vector<std::unique_ptr<T>>& ARecords) {
    // The parser reads a NUL byte as the end of the text; no valid JSON text holds one.
    if (std::memchr(AJson.data(), '\0', AJson.size()) != nullptr)
        return false;
    rapidjson::Reader reader;
    {
        rapidjson::MemoryStream stream(AJson.data(), AJson.size());
        reader.Parse<kParseFlags>(stream, AHandler);
        if (!reader.HasParseError())
            return true;
        if (reader.GetParseErrorCode() != rapidjson::kParseErrorNumberTooBig)
            return false;
    }
    // The parser refuses numbers beyond the range of a double, which are still valid JSON.
    // Read the text once more with every number replaced by a stand-in of the same length;
    // the handler takes the literals from the original text.
    ARecords.clear();
    const std::string shortened = ShortenJsonNumbers(AJson);
    rapidjson::MemoryStream stream(shortened.data(), shortened.size());
    AHandler.Restart(AJson, &stream);
    reader.Parse<kParseFlags>(stream, AHandler);
    return !reader.HasParseError();
}

template <class T> std::unique_ptr<T> ReadObject(std::string_view AJson) {
    std::vector<std::unique_ptr<T>> records;
    TRecordHandler<T> handler(false, records);
    if (!ParseRecords(AJson, handler, records) || handler.Root() != TRoot::Object)
        throw EConvertError("The input value is not a valid Object");
    handler.RethrowError();
    return std::move(records.front());
}

} // namespace

void TFilesInfoDTOHelper::FromJSON(TFilesInfoDTO& AArray, std::string_view AJson) {
    FreeAll(AArray);
    TRecordHandler<TFileInfoDTO> handler(true, AArray);
    if (!ParseRecords(AJson, handler, AArray)) {
        FreeAll(AArray);
        throw Exception("TFilesInfoDTOHelper.FromJSON");
    }
    if (handler.Root() != TRoot::Array) {
        FreeAll(AArray);
        throw EInvalidCast("Invalid class typecast");
    }
    // After a failed element the slots from it on stay empty.
    AArray.resize(handler.ElementCount());
    handler.RethrowError();
}

void TFilesInfoDTOHelper::FreeAll(TFilesInfoDTO& AArray) {
    for (auto& record : AArray)
        record.reset();
    AArray.clear();
}

template <> std::unique_ptr<TFileInfoDTO> JsonToObject<TFileInfoDTO>(std::string_view AJson) {
    return ReadObject<TFileInfoDTO>(AJson);
}

template <>
std::unique_ptr<TFileInfoErrorDTO> JsonToObject<TFileInfoErrorDTO>(std::string_view AJson) {
    return ReadObject<TFileInfoErrorDTO>(AJson);
}

} // namespace corvane
