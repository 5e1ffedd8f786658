#include "service/AnswerJson.h"

#include <cstdio>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace corvane {

std::string IsoAge(DateTime age) {
    const DateTimeParts p = DecodeDateTime(age);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second, p.millisecond);
    return text;
}

std::string ListingJson(const std::vector<ListingEntry>& files) {
    rapidjson::StringBuffer buffer;
    buffer.Reserve(files.size() * 180 + 2);
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const ListingEntry& file : files) {
        writer.StartObject();
        writer.Key("fileName");
        writer.String(file.fileName.data(), static_cast<rapidjson::SizeType>(file.fileName.size()));
        writer.Key("age");
        writer.String(file.age.data(), static_cast<rapidjson::SizeType>(file.age.size()));
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
