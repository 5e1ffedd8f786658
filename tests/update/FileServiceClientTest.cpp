#include "update/FileServiceClient.h"
#include "platform/DateTime.h"
#include "tests/support/TestHttpServer.h"
#include "update/Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

namespace corvane {
namespace {

using test::RecordedRequest;
using test::TestAnswer;
using test::TestHttpServer;
using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

std::string Gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// ---- The request the service receives ----

struct ListingRequestCase {
    const char* name;
    const char* baseUrl; // "{}" stands for 127.0.0.1:port
    const char* folder;
    const char* mask;
    bool recursive;
    const char* requestLine;
};

std::string Expand(std::string text, int port) {
    const size_t at = text.find("{}");
    if (at != std::string::npos)
        text.replace(at, 2, "127.0.0.1:" + std::to_string(port));
    return text;
}

class ListingRequests : public ::testing::TestWithParam<ListingRequestCase> {};

TEST_P(ListingRequests, ReachTheServiceAsExpected) {
    const ListingRequestCase& c = GetParam();
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "[]"); });
    FileServiceClient client(Expand(c.baseUrl, server.Port()));
    EXPECT_TRUE(client.Execute(c.folder, c.mask, c.recursive));
    EXPECT_EQ(server.LastRequest().requestLine, c.requestLine);
    EXPECT_EQ(server.RequestCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    QueriesAndBaseURLs, ListingRequests,
    ::testing::Values(
        ListingRequestCase{"WholeTree", "http://{}", "\\", "*.*", true,
                           "GET /folderlist?folder=%5C&mask=*.*&recursive= HTTP/1.1"},
        ListingRequestCase{"NoQuery", "http://{}", "", "", false, "GET /folderlist HTTP/1.1"},
        ListingRequestCase{"AccentedFolder", "http://{}", "Relatório 2", "", false,
                           "GET /folderlist?folder=Relat%C3%B3rio+2 HTTP/1.1"},
        ListingRequestCase{"BlankFolderIsContent", "http://{}", " ", "", false,
                           "GET /folderlist?folder=+ HTTP/1.1"},
        ListingRequestCase{"MaskOnly", "http://{}", "", "*.dll", false,
                           "GET /folderlist?mask=*.dll HTTP/1.1"},
        ListingRequestCase{"RecursiveOnly", "http://{}", "", "", true,
                           "GET /folderlist?recursive= HTTP/1.1"},
        ListingRequestCase{"ReservedCharacters", "http://{}", "a&b=c/d", "x+y?", false,
                           "GET /folderlist?folder=a%26b%3Dc%2Fd&mask=x%2By%3F HTTP/1.1"},
        ListingRequestCase{"BasePath", "http://{}/svc", "\\", "*.*", true,
                           "GET /svc/folderlist?folder=%5C&mask=*.*&recursive= HTTP/1.1"},
        ListingRequestCase{"TrailingSlashes", "http://{}/svc///", "\\", "*.*", true,
                           "GET /svc/folderlist?folder=%5C&mask=*.*&recursive= HTTP/1.1"},
        ListingRequestCase{"NoScheme", "{}/svc", "\\", "*.*", true,
                           "GET /svc/folderlist?folder=%5C&mask=*.*&recursive= HTTP/1.1"},
        ListingRequestCase{"Backslashes", "http:\\\\{}\\svc\\", "\\", "*.*", true,
                           "GET /svc/folderlist?folder=%5C&mask=*.*&recursive= HTTP/1.1"},
        ListingRequestCase{"BlanksUserAndFragment", "  http://admin:segredo@{}/svc#inicio  ", "\\",
                           "*.*", true,
                           "GET /svc/folderlist?folder=%5C&mask=*.*&recursive= HTTP/1.1"},
        ListingRequestCase{"PathWithSpaceAndAccent", "http://{}/Serviço de arquivos+1", "", "",
                           false, "GET /Servi%C3%A7o%20de%20arquivos%2B1/folderlist HTTP/1.1"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(ListingRequest, BadBaseURLsFailBeforeAnythingIsSent) {
    for (const auto& [url, message] :
         {std::pair{"   ", "Protocol field is empty"}, std::pair{"", "Protocol field is empty"},
          std::pair{"http://", "Host field is empty"}}) {
        FileServiceClient client(url);
        EXPECT_THAT([&] { client.Execute("\\", "*.*", true); },
                    ThrowsMessage<NetUriException>(StrEq(message)))
            << '"' << url << '"';
        EXPECT_EQ(client.Count(), 0);
        EXPECT_EQ(client.Error().status, 0);
    }
}

// ---- The answers the service may give ----

struct ListingAnswerCase {
    const char* name;
    TestAnswer answer;
    const char* error;     // the error Execute raises, or nullptr
    bool result;           // when no error
    int count;             // when no error
    int errorStatus;       // Error().status afterwards
    const char* errorText; // Error().error afterwards
};

TestAnswer Json(int status, std::string body, std::string contentType = "application/json") {
    return TestAnswer::Make(status, std::move(body), std::move(contentType));
}

TestAnswer WithReason(TestAnswer answer, std::string reason) {
    answer.reason = std::move(reason);
    return answer;
}

const char* const kTwoFiles =
    R"([{"fileName":"Morvik.exe","age":"2022-03-01T10:15:30.000"},)"
    R"({"fileName":"Relatorio\\Layout01.rav","age":"2021-12-24T08:00:00"}])";

class ListingAnswers : public ::testing::TestWithParam<ListingAnswerCase> {};

TEST_P(ListingAnswers, GiveTheResultOrTheMessage) {
    const ListingAnswerCase& c = GetParam();
    TestHttpServer server([&](const RecordedRequest&) { return c.answer; });
    FileServiceClient client(server.BaseURL());
    if (c.error) {
        EXPECT_THAT([&] { client.Execute("\\", "*.*", true); },
                    ThrowsMessage<std::exception>(StrEq(c.error)));
        EXPECT_EQ(client.Count(), 0);
    } else {
        EXPECT_EQ(client.Execute("\\", "*.*", true), c.result);
        EXPECT_EQ(client.Count(), c.count);
    }
    EXPECT_EQ(client.Error().status, c.errorStatus);
    EXPECT_EQ(client.Error().error, c.errorText);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ListingAnswers,
    ::testing::Values(
        ListingAnswerCase{"EmptyArray", Json(200, "[]"), nullptr, true, 0, 0, ""},
        ListingAnswerCase{"TwoFiles", Json(200, kTwoFiles), nullptr, true, 2, 0, ""},
        ListingAnswerCase{"EmptyBody", Json(200, ""), "TFilesInfoDTOHelper.FromJSON", false, 0, 0,
                          ""},
        ListingAnswerCase{"Blanks", Json(200, " \r\n "), "TFilesInfoDTOHelper.FromJSON", false, 0,
                          0, ""},
        ListingAnswerCase{"ObjectWithSuccess", Json(200, R"({"error":"x","status":1})"),
                          "Invalid class typecast", false, 0, 0, ""},
        ListingAnswerCase{"ElementNotObject", Json(200, R"([{"fileName":"a"},7])"),
                          "The input value is not a valid Object", false, 0, 0, ""},
        ListingAnswerCase{"BadAge", Json(200, R"([{"fileName":"a","age":"ontem"}])"),
                          "Invalid date string: ontem", false, 0, 0, ""},
        ListingAnswerCase{
            "ErrorObject",
            Json(404, R"({"error":"Pasta não encontrada","status":404,"detail":"\\X"})"), nullptr,
            false, 0, 404, "Pasta não encontrada"},
        ListingAnswerCase{"ErrorObjectWithoutStatus", Json(400, R"({"error":"aviso"})"), nullptr,
                          true, 0, 0, "aviso"},
        ListingAnswerCase{"UnfollowedRedirectWithErrorObject",
                          Json(302, R"({"error":"movido","status":302})"), nullptr, false, 0, 302,
                          "movido"},
        ListingAnswerCase{"HtmlErrorPage",
                          TestAnswer::Make(404, "<html><body>Not Found</body></html>", "text/html"),
                          "The input value is not a valid Object", false, 0, 0, ""},
        ListingAnswerCase{"EmptyErrorBody", Json(404, ""), "The input value is not a valid Object",
                          false, 0, 0, ""},
        ListingAnswerCase{"ServerError", Json(500, R"({"error":"x","status":500})"),
                          "HTTP/1.1 500 Internal Server Error", false, 0, 0, ""},
        ListingAnswerCase{"Unavailable", Json(503, ""), "HTTP/1.1 503 Service Unavailable", false,
                          0, 0, ""},
        ListingAnswerCase{"OwnReason", WithReason(Json(503, ""), "Em manutenção"),
                          "HTTP/1.1 503 Em manutenção", false, 0, 0, ""},
        ListingAnswerCase{"UnknownCharset", Json(200, "[]", "application/json; charset=x-nada"),
                          "Unknown character set: x-nada", false, 0, 0, ""}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(ListingAnswer, RecordsKeepTheServiceOrderNamesAndAges) {
    TestHttpServer server([](const RecordedRequest&) { return Json(200, kTwoFiles); });
    FileServiceClient client(server.BaseURL());
    ASSERT_TRUE(client.Execute("\\", "*.*", true));
    ASSERT_EQ(client.Count(), 2);
    EXPECT_EQ(client.Files()[0].fileName, "Morvik.exe");
    EXPECT_EQ(client.Files()[0].age, EncodeDateTime(2022, 3, 1, 10, 15, 30, 0));
    EXPECT_EQ(client.Files()[1].fileName, "Relatorio\\Layout01.rav");
    EXPECT_EQ(client.Files()[1].age, EncodeDateTime(2021, 12, 24, 8, 0, 0, 0));
}

struct EncodedListingCase {
    const char* name;
    std::string body;
    const char* contentType;
    const char* contentEncoding;
};

class EncodedListings : public ::testing::TestWithParam<EncodedListingCase> {};

TEST_P(EncodedListings, AreReadAsTheSameRecords) {
    const EncodedListingCase& c = GetParam();
    TestHttpServer server([&](const RecordedRequest&) {
        TestAnswer answer = TestAnswer::Make(200, c.body, c.contentType);
        if (*c.contentEncoding)
            answer.headers.emplace_back("Content-Encoding", c.contentEncoding);
        return answer;
    });
    FileServiceClient client(server.BaseURL());
    ASSERT_TRUE(client.Execute("\\", "*.*", true));
    ASSERT_EQ(client.Count(), 2);
    EXPECT_EQ(client.Files()[0].fileName, "Relatório\\Ação.rav");
    EXPECT_EQ(client.Files()[1].fileName, "Módulo.exe");
    EXPECT_EQ(client.Files()[1].age, EncodeDateTime(2023, 7, 4, 9, 30, 0, 0));
}

const std::string kAccentedUtf8 =
    R"([{"fileName":"Relatório\\Ação.rav","age":"2023-07-04T09:30:00"},)"
    R"({"fileName":"Módulo.exe","age":"2023-07-04T09:30:00"}])";
const std::string kAccentedLatin1 =
    "[{\"fileName\":\"Relat\xF3rio\\\\A\xE7\xE3o.rav\",\"age\":\"2023-07-04T09:30:00\"},"
    "{\"fileName\":\"M\xF3"
    "dulo.exe\",\"age\":\"2023-07-04T09:30:00\"}]";

INSTANTIATE_TEST_SUITE_P(
    Listings, EncodedListings,
    ::testing::Values(
        EncodedListingCase{"Utf8WithoutCharset", kAccentedUtf8, "application/json", ""},
        EncodedListingCase{"Latin1", kAccentedLatin1, "application/json; charset=ISO-8859-1", ""},
        EncodedListingCase{"Gzip", Gzip(kAccentedUtf8), "application/json; charset=utf-8", "gzip"},
        EncodedListingCase{"GzipLatin1", Gzip(kAccentedLatin1), "application/json;charset=latin1",
                           "gzip"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(ListingAnswer, CorruptGzipFailsWithAClearMessage) {
    TestHttpServer server([](const RecordedRequest&) {
        TestAnswer answer = Json(200, "\x1f\x8b\x08\x00 not really gzip");
        answer.headers.emplace_back("Content-Encoding", "gzip");
        return answer;
    });
    FileServiceClient client(server.BaseURL());
    EXPECT_THAT([&] { client.Execute("\\", "*.*", true); },
                ThrowsMessage<HttpError>(StartsWith("REST request failed: Invalid gzip body")));
}

TEST(ListingAnswer, StalledServiceFailsAfterTheShortenedLimit) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Stall(); });
    FileServiceClient client(server.BaseURL());
    client.HTTP().timeouts.receive = 250;
    EXPECT_THAT([&] { client.Execute("\\", "*.*", true); },
                ThrowsMessage<HttpError>(StrEq(
                    "REST request failed: The operation timed out: nothing received for 250 ms")));
    EXPECT_EQ(client.Count(), 0);
}

TEST(ListingAnswer, RedirectsAreFollowedToTheListing) {
    TestHttpServer server([](const RecordedRequest& request) {
        if (request.target.rfind("/old/", 0) == 0)
            return TestAnswer::Redirect(301, "/new/folderlist?folder=%5C");
        return Json(200, kTwoFiles);
    });
    FileServiceClient client(server.BaseURL() + "/old");
    EXPECT_TRUE(client.Execute("\\", "", false));
    EXPECT_EQ(client.Count(), 2);
    EXPECT_EQ(server.LastRequest().requestLine, "GET /new/folderlist?folder=%5C HTTP/1.1");
}

TEST(ListingAnswer, ANewExecuteStartsFromAnEmptyErrorAndList) {
    TestHttpServer server([](const RecordedRequest& request) {
        if (request.target.find("mask") != std::string::npos)
            return Json(404, R"({"error":"não","status":404})");
        return Json(200, kTwoFiles);
    });
    FileServiceClient client(server.BaseURL());
    EXPECT_TRUE(client.Execute("", "", false));
    EXPECT_EQ(client.Count(), 2);
    EXPECT_FALSE(client.Execute("", "*.*", false));
    EXPECT_EQ(client.Count(), 0);
    EXPECT_EQ(client.Error().status, 404);
    EXPECT_TRUE(client.Execute("", "", false));
    EXPECT_EQ(client.Error().status, 0);
}

} // namespace
} // namespace corvane
