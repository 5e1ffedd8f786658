#include "update/HttpClient.h"
#include "platform/Errors.h"
#include "tests/support/TestCertificate.h"
#include "tests/support/TestHttpServer.h"
#include "update/HttpCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <zlib.h>

namespace corvane {
namespace {

using test::RecordedRequest;
using test::TestAnswer;
using test::TestHttpServer;
using ::testing::HasSubstr;
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

// Sets an environment variable for one test.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value, 1);
    }
    ~EnvGuard() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(HTTPExchange, SendsAPlainGetWithTheThreeHeadersAndNoCompressionOrProxy) {
    // A proxy in the environment must not be used: the request has to reach our server.
    EnvGuard proxy("http_proxy", "http://127.0.0.1:9");
    EnvGuard allProxy("ALL_PROXY", "http://127.0.0.1:9");
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "[]"); });
    HttpClient exchange;
    const HttpResponse response = exchange.Get(server.BaseURL() + "/folderlist?folder=%5C");
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, "[]");

    const RecordedRequest request = server.LastRequest();
    EXPECT_EQ(request.requestLine, "GET /folderlist?folder=%5C HTTP/1.1");
    EXPECT_EQ(request.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(request.Header("Accept"), "application/json, text/plain; q=0.9, text/html;q=0.8,");
    EXPECT_EQ(request.Header("Accept-Charset"), "UTF-8, *;q=0.8");
    EXPECT_EQ(request.Header("User-Agent"), "Embarcadero RESTClient/1.0");
    EXPECT_THAT(request.HeaderNames(),
                ::testing::UnorderedElementsAre("Host", "User-Agent", "Accept", "Accept-Charset"));
}

struct StatusCase {
    const char* name;
    TestAnswer answer;
    const char* error; // nullptr: the answer comes back
};

class HTTPStatusClasses : public ::testing::TestWithParam<StatusCase> {};

TEST_P(HTTPStatusClasses, ReturnOrRaiseTheStatusText) {
    const StatusCase& c = GetParam();
    TestHttpServer server([&](const RecordedRequest&) { return c.answer; });
    HttpClient exchange;
    if (c.error) {
        EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                    ThrowsMessage<std::exception>(StrEq(c.error)));
        return;
    }
    const HttpResponse response = exchange.Get(server.BaseURL() + "/x");
    EXPECT_EQ(response.statusCode, c.answer.status);
    EXPECT_EQ(response.reasonPhrase,
              c.answer.reason.value_or(test::StandardReason(c.answer.status)));
    EXPECT_EQ(response.body, c.answer.body);
}

TestAnswer WithReason(TestAnswer answer, std::string reason) {
    answer.reason = std::move(reason);
    return answer;
}

TestAnswer WithVersion(TestAnswer answer, std::string version) {
    answer.version = std::move(version);
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HTTPStatusClasses,
    ::testing::Values(
        StatusCase{"Ok", TestAnswer::Make(200, "[]"), nullptr},
        StatusCase{"NoContent", TestAnswer::Make(204), nullptr},
        StatusCase{"NotModifiedIsNotFollowed", TestAnswer::Make(304), nullptr},
        StatusCase{"PermanentRedirectIsNotFollowed", TestAnswer::Redirect(308, "/elsewhere"),
                   nullptr},
        StatusCase{"RedirectWithoutLocation", TestAnswer::Make(302, "moved"), nullptr},
        StatusCase{"NotFound", TestAnswer::Make(404, "{\"status\":404}"), nullptr},
        StatusCase{"OwnReasonPhrase",
                   WithReason(TestAnswer::Make(499, "x"), "Pasta não encontrada"), nullptr},
        StatusCase{"ServerError", TestAnswer::Make(500, "boom"),
                   "HTTP/1.1 500 Internal Server Error"},
        StatusCase{"Unavailable", TestAnswer::Make(503), "HTTP/1.1 503 Service Unavailable"},
        StatusCase{"OwnReasonOnError", WithReason(TestAnswer::Make(503), "Serviço em manutenção"),
                   "HTTP/1.1 503 Serviço em manutenção"},
        StatusCase{"NoReasonPhrase", WithReason(TestAnswer::Make(500), ""), "HTTP/1.1 500 "},
        StatusCase{"Latin1ReasonPhrase", WithReason(TestAnswer::Make(502), "Indispon\xEDvel"),
                   "HTTP/1.1 502 Indisponível"},
        // A surrogate written in UTF-8's form is not UTF-8: read as ISO-8859-1 as well.
        StatusCase{"EncodedSurrogateInReasonPhrase",
                   WithReason(TestAnswer::Make(502), "Indispon\xED\xA0\x80vel"),
                   "HTTP/1.1 502 Indispon\u00ED\u00A0\u0080vel"},
        StatusCase{"OlderProtocol", WithVersion(TestAnswer::Make(502), "HTTP/1.0"),
                   "HTTP/1.0 502 Bad Gateway"},
        StatusCase{"UnknownHighStatus", TestAnswer::Make(599), "HTTP/1.1 599 "}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// Answers every request for /hop/N with a redirect to /hop/N+1 until `count` redirects were
// sent, then with 200.
test::TestHandler RedirectChain(int count, int status = 302) {
    return [count, status](const RecordedRequest& request) {
        const int hop = std::stoi(request.target.substr(std::string("/hop/").size()));
        if (hop < count)
            return TestAnswer::Redirect(status, "/hop/" + std::to_string(hop + 1));
        return TestAnswer::Make(200, "arrived at " + std::to_string(hop));
    };
}

struct RedirectCase {
    int count;
    int status;
    bool follows;
};

class HTTPRedirects : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(HTTPRedirects, FollowFiveInARowAndFailTheSixth) {
    const RedirectCase c = GetParam();
    TestHttpServer server(RedirectChain(c.count, c.status));
    HttpClient exchange;
    if (c.follows) {
        const HttpResponse response = exchange.Get(server.BaseURL() + "/hop/0");
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_EQ(response.body, "arrived at " + std::to_string(c.count));
        EXPECT_EQ(server.RequestCount(), static_cast<size_t>(c.count + 1));
    } else {
        EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/hop/0"); },
                    ThrowsMessage<std::exception>(
                        StrEq("REST request failed: Maximum number of redirections (5) exceeded")));
        EXPECT_EQ(server.RequestCount(), 6u);
    }
}

INSTANTIATE_TEST_SUITE_P(Chains, HTTPRedirects,
                         ::testing::Values(RedirectCase{1, 301, true}, RedirectCase{1, 302, true},
                                           RedirectCase{1, 303, true}, RedirectCase{1, 307, true},
                                           RedirectCase{5, 302, true}, RedirectCase{6, 302, false},
                                           RedirectCase{6, 307, false},
                                           RedirectCase{50, 301, false}));

TEST(HTTPExchange, RedirectLoopEndsAfterFiveRedirects) {
    TestHttpServer server(
        [](const RecordedRequest&) { return TestAnswer::Redirect(302, "/loop"); });
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/loop"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: Maximum number of redirections (5) exceeded")));
}

TEST(HTTPExchange, RedirectToAnotherServerIsFollowedAndAnotherSchemeIsRefused) {
    TestHttpServer target([](const RecordedRequest&) { return TestAnswer::Make(200, "other"); });
    TestHttpServer server([&](const RecordedRequest& request) {
        if (request.target == "/to-other")
            return TestAnswer::Redirect(307, target.BaseURL() + "/file");
        return TestAnswer::Redirect(302, "ftp://127.0.0.1/file");
    });
    HttpClient exchange;
    EXPECT_EQ(exchange.Get(server.BaseURL() + "/to-other").body, "other");
    EXPECT_EQ(target.LastRequest().requestLine, "GET /file HTTP/1.1");
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/to-ftp"); },
                ThrowsMessage<std::exception>(StartsWith("REST request failed: ")));
}

TEST(HTTPExchange, StalledServerFailsAfterTheReceiveLimit) {
    TestHttpServer server([](const RecordedRequest& request) {
        if (request.target == "/before")
            return TestAnswer::Stall();
        TestAnswer answer = TestAnswer::Make(200, std::string(1000, 'x'));
        answer.stallAfterBytes = 100;
        return answer;
    });
    HttpClient exchange;
    exchange.timeouts.receive = 300;
    for (const char* path : {"/before", "/midbody"}) {
        SCOPED_TRACE(path);
        EXPECT_THAT(
            [&] { exchange.Get(server.BaseURL() + path); },
            ThrowsMessage<std::exception>(StrEq(
                "REST request failed: The operation timed out: nothing received for 300 ms")));
    }
}

// A server that keeps sending, but too slowly, never pauses long enough for the receive limit:
// the speed limit ends it once the transfer has stayed below it for the whole window. A steady
// transfer above the limit that lasts longer than the window completes.
struct SpeedCase {
    const char* name;
    size_t part;       // bytes sent at a time
    int pauseMs;       // before each part
    size_t parts;      // the whole body
    const char* error; // nullptr: the transfer succeeds
};

void PrintTo(const SpeedCase& c, std::ostream* os) {
    *os << c.name;
}

class HTTPLowSpeed : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(HTTPLowSpeed, FailsATransferSlowerThanTheLimitOverItsWindow) {
    const SpeedCase& c = GetParam();
    const std::string body(c.part * c.parts, 'x');
    TestHttpServer server([&](const RecordedRequest&) {
        TestAnswer answer = TestAnswer::Make(200, body);
        answer.trickleBytes = c.part;
        answer.tricklePause = std::chrono::milliseconds(c.pauseMs);
        return answer;
    });
    HttpClient exchange;
    exchange.timeouts.receive = 1000;
    exchange.lowSpeed.bytesPerSecond = 1024;
    exchange.lowSpeed.seconds = 2;
    std::string received;
    const auto get = [&] {
        exchange.Get(server.BaseURL() + "/file",
                     [&](const char* data, size_t size) { received.append(data, size); });
    };
    if (c.error) {
        EXPECT_THAT(get, ThrowsMessage<std::exception>(StrEq(c.error)));
    } else {
        EXPECT_NO_THROW(get());
        EXPECT_EQ(received, body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, HTTPLowSpeed,
    ::testing::Values(
        // 500 bytes a second: 12 s for the whole body, ended after about 2 s.
        SpeedCase{"Trickling", 100, 200, 60,
                  "REST request failed: Operation too slow. Less than 1024 bytes/sec "
                  "transferred the last 2 seconds"},
        // 40 KiB a second for 3 s.
        SpeedCase{"SteadyLongerThanTheWindow", 4096, 100, 30, nullptr}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(HTTPExchange, UnreachableServerIsATransportFailure) {
    int port;
    {
        TestHttpServer gone([](const RecordedRequest&) { return TestAnswer::Make(200); });
        port = gone.Port();
    }
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get("http://127.0.0.1:" + std::to_string(port) + "/x"); },
                ThrowsMessage<std::exception>(StartsWith("REST request failed: ")));
}

struct BodyCase {
    const char* name;
    TestAnswer answer;
    const char* error;
};

class HTTPBodyLimits : public ::testing::TestWithParam<BodyCase> {};

TEST_P(HTTPBodyLimits, EndTheExchangeWithAClearMessage) {
    const BodyCase& c = GetParam();
    TestHttpServer server([&](const RecordedRequest&) { return c.answer; });
    HttpClient exchange;
    exchange.maxBodyInMemory = 1 << 20;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(StrEq(c.error)));
}

TestAnswer Endless(int status) {
    TestAnswer answer = TestAnswer::Make(status, std::string(64 * 1024, '['));
    answer.endless = true;
    return answer;
}

TestAnswer Truncated() {
    TestAnswer answer = TestAnswer::Make(200, "[{\"fileName\":");
    answer.contentLength = 100;
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, HTTPBodyLimits,
    ::testing::Values(BodyCase{"EndlessListing", Endless(200),
                               "REST request failed: The answer is larger than 1048576 bytes"},
                      BodyCase{"EndlessErrorPage", Endless(404),
                               "REST request failed: The answer is larger than 1048576 bytes"},
                      BodyCase{
                          "ShortBody", Truncated(),
                          "REST request failed: transfer closed with 87 bytes remaining to read"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(HTTPExchange, EndlessServerErrorBodyIsNotRead) {
    TestHttpServer server([](const RecordedRequest&) { return Endless(500); });
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(StrEq("HTTP/1.1 500 Internal Server Error")));
}

TEST(HTTPExchange, AListingOf100MBIsRefusedAtTheDefaultLimit) {
    TestAnswer answer = TestAnswer::Make(200, std::string(1 << 20, ' '), "application/json");
    answer.bodyRepeat = 100;
    TestHttpServer server([&](const RecordedRequest&) { return answer; });
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: The answer is larger than 67108864 bytes")));
}

TEST(HTTPExchange, WriterTakesOnlyTheBodyOfASuccessAndItsErrorsEndTheExchange) {
    TestHttpServer server([](const RecordedRequest& request) {
        if (request.target == "/missing")
            return TestAnswer::Make(404, "não há", "text/plain; charset=utf-8");
        if (request.target == "/moved")
            return TestAnswer::Redirect(302, "/file");
        return TestAnswer::Make(200, std::string(300000, 'b'));
    });
    HttpClient exchange;
    std::string written;
    const auto writer = [&](const char* data, size_t size) { written.append(data, size); };

    const HttpResponse moved = exchange.Get(server.BaseURL() + "/moved", writer);
    EXPECT_EQ(moved.statusCode, 200);
    EXPECT_TRUE(moved.body.empty());
    EXPECT_EQ(written, std::string(300000, 'b'));

    written.clear();
    const HttpResponse missing = exchange.Get(server.BaseURL() + "/missing", writer);
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(missing.Text(1000), "não há");
    EXPECT_TRUE(written.empty());

    EXPECT_THAT(
        [&] {
            exchange.Get(server.BaseURL() + "/file", [](const char*, size_t) {
                throw SystemError("No space left on device", 28);
            });
        },
        ThrowsMessage<std::exception>(StrEq("No space left on device")));

    // Announced larger than the limit: refused before the writer sees a byte.
    written.clear();
    exchange.maxBodyWritten = 1000;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/file", writer); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: The answer is larger than 1000 bytes")));
    EXPECT_TRUE(written.empty());
}

struct TextCase {
    const char* name;
    std::string body;
    const char* contentType;
    const char* contentEncoding;
    const char* expected; // or the start of the error
    bool fails;
};

class HTTPBodyText : public ::testing::TestWithParam<TextCase> {};

TEST_P(HTTPBodyText, IsInflatedAndDecodedToUTF8) {
    const TextCase& c = GetParam();
    HttpResponse response;
    response.body = c.body;
    response.contentType = c.contentType;
    response.contentEncoding = c.contentEncoding;
    if (c.fails)
        EXPECT_THAT([&] { response.Text(1 << 20); },
                    ThrowsMessage<std::exception>(StartsWith(c.expected)));
    else
        EXPECT_EQ(response.Text(1 << 20), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, HTTPBodyText,
    ::testing::Values(
        TextCase{"NoCharsetIsUTF8", "Relatório", "application/json", "", "Relatório", false},
        TextCase{"Latin1", "Relat\xF3rio", "application/json; charset=ISO-8859-1", "", "Relatório",
                 false},
        TextCase{"QuotedCharset", "Relat\xF3rio", "text/plain;Charset=\"iso-8859-1\"", "",
                 "Relatório", false},
        TextCase{"Windows1252",
                 "\x93"
                 "aspas\x94",
                 "text/plain; charset=windows-1252", "", "“aspas”", false},
        TextCase{"Gzip", Gzip("[{\"fileName\":\"Relatório\"}]"), "application/json", "gzip",
                 "[{\"fileName\":\"Relatório\"}]", false},
        TextCase{"GzipLatin1", Gzip("Relat\xF3rio"), "text/plain; charset=latin1", "GZIP",
                 "Relatório", false},
        TextCase{"EmptyGzip", "", "text/plain", "gzip", "", false},
        TextCase{"UnknownCharset", "abc", "text/plain; charset=klingon-8", "",
                 "Unknown character set: klingon-8", true},
        TextCase{"CorruptGzip", "\x1f\x8b\x08\x00garbage-garbage", "text/plain", "gzip",
                 "REST request failed: Invalid gzip body", true},
        TextCase{"TruncatedGzip", Gzip(std::string(5000, 'a')).substr(0, 20), "text/plain", "gzip",
                 "REST request failed: Invalid gzip body", true},
        TextCase{"GzipBomb", Gzip(std::string(2 << 20, 'a')), "text/plain", "gzip",
                 "REST request failed: The answer is larger than 1048576 bytes", true}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// HTTPS against a server whose certificate no public authority signed.
class HTTPSCertificates : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane-https-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        certificate_ = test::MakeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
        caFile_ = (folder_ / "hospital-ca.pem").string();
        std::ofstream(caFile_) << certificate_.certificatePem;
    }
    void TearDown() override {
        SetExtraCAFile("");
        std::filesystem::remove_all(folder_);
    }

    std::filesystem::path folder_;
    test::TestCertificate certificate_;
    std::string caFile_;
};

TEST_F(HTTPSCertificates, SelfSignedServerIsRefusedWithoutTheCAAndAcceptedWithIt) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "secure"); },
                          certificate_);
    HttpClient exchange;
    SetExtraCAFile("");
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    AllOf(StartsWith("REST request failed: SSL certificate problem: "),
                          HasSubstr("self-signed certificate"))));

    SetExtraCAFile(caFile_);
    EXPECT_EQ(exchange.Get(server.BaseURL() + "/x").body, "secure");
    EXPECT_EQ(exchange.Get("https://localhost:" + std::to_string(server.Port()) + "/x").body,
              "secure");
}

TEST_F(HTTPSCertificates, TrustedCertificateForAnotherHostIsRefused) {
    const test::TestCertificate other = test::MakeSelfSignedCertificate({"servidor.hospital"}, {});
    std::ofstream(caFile_) << other.certificatePem;
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "secure"); },
                          other);
    SetExtraCAFile(caFile_);
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    AllOf(StartsWith("REST request failed: "), HasSubstr("127.0.0.1"))));
}

TEST_F(HTTPSCertificates, UnreadableCAFileFailsHttpsOnly) {
    TestHttpServer secure([](const RecordedRequest&) { return TestAnswer::Make(200, "s"); },
                          certificate_);
    TestHttpServer plain([](const RecordedRequest&) { return TestAnswer::Make(200, "p"); });
    const std::string missing = (folder_ / "missing.pem").string();
    SetExtraCAFile(missing);
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get(secure.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: Cannot read the certificate authorities in \"" +
                          missing + "\"")));
    EXPECT_EQ(exchange.Get(plain.BaseURL() + "/x").body, "p");
}

TEST_F(HTTPSCertificates, RedirectFromHttpsToHttpIsRefused) {
    TestHttpServer plain([](const RecordedRequest&) { return TestAnswer::Make(200, "plain"); });
    TestHttpServer secure(
        [&](const RecordedRequest&) { return TestAnswer::Redirect(302, plain.BaseURL() + "/x"); },
        certificate_);
    SetExtraCAFile(caFile_);
    HttpClient exchange;
    EXPECT_THAT([&] { exchange.Get(secure.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: Redirect from https to http refused")));
    EXPECT_EQ(plain.RequestCount(), 0u);
}

} // namespace
} // namespace corvane
