#include "service/AnswerJson.h"

#include <cstdio>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace corvane {

std::string IsoAge(TDateTime age) {
    const TDateTimeParts p = DecodeDateTime(age);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.Year, p.Month, p.Day,
                  p.Hour, p.Minute, p.Second, p.Millisecond);
    return text;
}

std::string ListingJson(const std::vector<TListingEntry>& files) {
    rapidjson::StringBuffer buffer;
    buffer.Reserve(files.size() * 180 + 2);
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const TListingEntry& file : files) {
        writer.StartObject();
        writer.Key("fileName");
        writer.String(file.FileName.data(), static_cast<rapidjson::SizeType>(file.FileName.size()));
        writer.Key("age");
        writer.String(file.Age.data(), static_cast<rapidjson::SizeType>(file.Age.size()));
        if (!file.sha256.empty()) {
            writer.Key("size");
            writer.Uint64(file.size);
            writer.Key("sha256");
            writer.String(file.sha256.data(), static_cast<rapidjson::SizeType>(file.sha256.size()));
        }
        writer.EndObject();
    }
    writer.EndArray();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string ErrorJson(int status, std::string_view error, std::string_view detail) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("error");
    writer.String(error.data(), static_cast<rapidjson::SizeType>(error.size()));
    writer.Key("status");
    writer.Int(status);
    writer.Key("detail");
    writer.String(detail.data(), static_cast<rapidjson::SizeType>(detail.size()));
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

} // namespace corvane
