#include "Corvane.JSon.DTO.FileList.h"

#include "Corvane.Errors.h"
#include "Corvane.JSon.RecordReader.h"

namespace corvane {

namespace {

// Where each field of record class T lives (one of the three members is set).
template <class T> struct TMember {
    std::string T::*Text = nullptr;
    std::int32_t T::*Integer = nullptr;
    TDateTime T::*DateTime = nullptr;
};

// The fields of each record class, and beside them where they live.
template <class T> struct TFieldsOf;

template <> struct TFieldsOf<TFileInfoDTO> {
    static constexpr TJsonField Fields[] = {{"FAge", TJsonFieldKind::DateTime},
                                            {"FFileName", TJsonFieldKind::Text}};
    static constexpr TMember<TFileInfoDTO> Members[] = {{nullptr, nullptr, &TFileInfoDTO::FAge},
                                                        {&TFileInfoDTO::FFileName}};
};

template <> struct TFieldsOf<TFileInfoErrorDTO> {
    static constexpr TJsonField Fields[] = {{"FError", TJsonFieldKind::Text},
                                            {"FStatus", TJsonFieldKind::Integer},
                                            {"FDetail", TJsonFieldKind::Text}};
    static constexpr TMember<TFileInfoErrorDTO> Members[] = {{&TFileInfoErrorDTO::FError},
                                                             {nullptr, &TFileInfoErrorDTO::FStatus},
                                                             {&TFileInfoErrorDTO::FDetail}};
};

template <class T> constexpr bool HasPlainFieldNames() {
    for (const TJsonField& field : TFieldsOf<T>::Fields)
        if (!IsJsonFieldName(field.Name))
            return false;
    return true;
}
static_assert(HasPlainFieldNames<TFileInfoDTO>() && HasPlainFieldNames<TFileInfoErrorDTO>());

// Builds records of class T into an array that owns them.
template <class T> class TBuilder final : public TJsonRecordBuilder {
public:
    explicit TBuilder(std::vector<std::unique_ptr<T>>& ARecords) : FRecords(ARecords) {}

    std::span<const TJsonField> Fields() const override { return TFieldsOf<T>::Fields; }
    void Begin() override { FRecord = std::make_unique<T>(); }
    void SetText(int AField, std::string_view AValue) override {
        ((*FRecord).*Members[AField].Text).assign(AValue);
    }
    void SetInteger(int AField, std::int32_t AValue) override {
        (*FRecord).*Members[AField].Integer = AValue;
    }
    void SetDateTime(int AField, TDateTime AValue) override {
        (*FRecord).*Members[AField].DateTime = AValue;
    }
    void Commit() override { FRecords.push_back(std::move(FRecord)); }
    void Discard() override { FRecord.reset(); }
    void Reset() override {
        FRecord.reset();
        FRecords.clear();
    }

private:
    static constexpr const auto& Members = TFieldsOf<T>::Members;
    std::vector<std::unique_ptr<T>>& FRecords;
    std::unique_ptr<T> FRecord;
};

template <class T> std::unique_ptr<T> ReadObject(std::string_view AJson) {
    std::vector<std::unique_ptr<T>> records;
    TBuilder<T> builder(records);
    const TJsonReadResult result = ReadJsonRecords(AJson, false, builder);
    if (!result.Valid || result.Root != TJsonRoot::Object)
        throw EConvertError("The input value is not a valid Object");
    if (result.Error)
        std::rethrow_exception(result.Error);
    return std::move(records.front());
}

} // namespace

void TFilesInfoDTOHelper::FromJSON(TFilesInfoDTO& AArray, std::string_view AJson) {
    FreeAll(AArray);
    TBuilder<TFileInfoDTO> builder(AArray);
    const TJsonReadResult result = ReadJsonRecords(AJson, true, builder);
    if (!result.Valid) {
        FreeAll(AArray);
        throw Exception("TFilesInfoDTOHelper.FromJSON");
    }
    if (result.Root != TJsonRoot::Array) {
        FreeAll(AArray);
        throw EInvalidCast("Invalid class typecast");
    }
    // After a failed element the slots from it on stay empty.
    AArray.resize(result.ElementCount);
    if (result.Error)
        std::rethrow_exception(result.Error);
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
