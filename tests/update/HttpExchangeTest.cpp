#include "update/HttpExchange.h"
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

using test::TRecordedRequest;
using test::TTestAnswer;
using test::TTestHTTPServer;
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
    EnvGuard(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name))
            FOld = old;
        ::setenv(name, value, 1);
    }
    ~EnvGuard() {
        if (FOld)
            ::setenv(FName, FOld->c_str(), 1);
        else
            ::unsetenv(FName);
    }

private:
    const char* FName;
    std::optional<std::string> FOld;
};

TEST(HTTPExchange, SendsAPlainGetWithTheThreeHeadersAndNoCompressionOrProxy) {
    // A proxy in the environment must not be used: the request has to reach our server.
    EnvGuard proxy("http_proxy", "http://127.0.0.1:9");
    EnvGuard allProxy("ALL_PROXY", "http://127.0.0.1:9");
    TTestHTTPServer server([](const TRecordedRequest&) { return TTestAnswer::Make(200, "[]"); });
    THTTPExchange exchange;
    const THTTPResponse response = exchange.Get(server.BaseURL() + "/folderlist?folder=%5C");
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.Body, "[]");

    const TRecordedRequest request = server.LastRequest();
    EXPECT_EQ(request.RequestLine, "GET /folderlist?folder=%5C HTTP/1.1");
    EXPECT_EQ(request.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(request.Header("Accept"), "application/json, text/plain; q=0.9, text/html;q=0.8,");
    EXPECT_EQ(request.Header("Accept-Charset"), "UTF-8, *;q=0.8");
    EXPECT_EQ(request.Header("User-Agent"), "Embarcadero RESTClient/1.0");
    EXPECT_THAT(request.HeaderNames(),
                ::testing::UnorderedElementsAre("Host", "User-Agent", "Accept", "Accept-Charset"));
}

struct StatusCase {
    const char* Name;
    TTestAnswer Answer;
    const char* Error; // nullptr: the answer comes back
};

class HTTPStatusClasses : public ::testing::TestWithParam<StatusCase> {};

TEST_P(HTTPStatusClasses, ReturnOrRaiseTheStatusText) {
    const StatusCase& c = GetParam();
    TTestHTTPServer server([&](const TRecordedRequest&) { return c.Answer; });
    THTTPExchange exchange;
    if (c.Error) {
        EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                    ThrowsMessage<std::exception>(StrEq(c.Error)));
        return;
    }
    const THTTPResponse response = exchange.Get(server.BaseURL() + "/x");
    EXPECT_EQ(response.StatusCode, c.Answer.Status);
    EXPECT_EQ(response.ReasonPhrase,
              c.Answer.Reason.value_or(test::StandardReason(c.Answer.Status)));
    EXPECT_EQ(response.Body, c.Answer.Body);
}

TTestAnswer WithReason(TTestAnswer answer, std::string reason) {
    answer.Reason = std::move(reason);
    return answer;
}

TTestAnswer WithVersion(TTestAnswer answer, std::string version) {
    answer.Version = std::move(version);
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HTTPStatusClasses,
    ::testing::Values(
        StatusCase{"Ok", TTestAnswer::Make(200, "[]"), nullptr},
        StatusCase{"NoContent", TTestAnswer::Make(204), nullptr},
        StatusCase{"NotModifiedIsNotFollowed", TTestAnswer::Make(304), nullptr},
        StatusCase{"PermanentRedirectIsNotFollowed", TTestAnswer::Redirect(308, "/elsewhere"),
                   nullptr},
        StatusCase{"RedirectWithoutLocation", TTestAnswer::Make(302, "moved"), nullptr},
        StatusCase{"NotFound", TTestAnswer::Make(404, "{\"status\":404}"), nullptr},
        StatusCase{"OwnReasonPhrase",
                   WithReason(TTestAnswer::Make(499, "x"), "Pasta não encontrada"), nullptr},
        StatusCase{"ServerError", TTestAnswer::Make(500, "boom"),
                   "HTTP/1.1 500 Internal Server Error"},
        StatusCase{"Unavailable", TTestAnswer::Make(503), "HTTP/1.1 503 Service Unavailable"},
        StatusCase{"OwnReasonOnError", WithReason(TTestAnswer::Make(503), "Serviço em manutenção"),
                   "HTTP/1.1 503 Serviço em manutenção"},
        StatusCase{"NoReasonPhrase", WithReason(TTestAnswer::Make(500), ""), "HTTP/1.1 500 "},
        StatusCase{"Latin1ReasonPhrase", WithReason(TTestAnswer::Make(502), "Indispon\xEDvel"),
                   "HTTP/1.1 502 Indisponível"},
        // A surrogate written in UTF-8's form is not UTF-8: read as ISO-8859-1 as well.
        StatusCase{"EncodedSurrogateInReasonPhrase",
                   WithReason(TTestAnswer::Make(502), "Indispon\xED\xA0\x80vel"),
                   "HTTP/1.1 502 Indispon\u00ED\u00A0\u0080vel"},
        StatusCase{"OlderProtocol", WithVersion(TTestAnswer::Make(502), "HTTP/1.0"),
                   "HTTP/1.0 502 Bad Gateway"},
        StatusCase{"UnknownHighStatus", TTestAnswer::Make(599), "HTTP/1.1 599 "}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.Name); });

// Answers every request for /hop/N with a redirect to /hop/N+1 until `count` redirects were
// sent, then with 200.
test::TTestHandler RedirectChain(int count, int status = 302) {
    return [count, status](const TRecordedRequest& request) {
        const int hop = std::stoi(request.Target.substr(std::string("/hop/").size()));
        if (hop < count)
            return TTestAnswer::Redirect(status, "/hop/" + std::to_string(hop + 1));
        return TTestAnswer::Make(200, "arrived at " + std::to_string(hop));
    };
}

struct RedirectCase {
    int Count;
    int Status;
    bool Follows;
};

class HTTPRedirects : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(HTTPRedirects, FollowFiveInARowAndFailTheSixth) {
    const RedirectCase c = GetParam();
    TTestHTTPServer server(RedirectChain(c.Count, c.Status));
    THTTPExchange exchange;
    if (c.Follows) {
        const THTTPResponse response = exchange.Get(server.BaseURL() + "/hop/0");
        EXPECT_EQ(response.StatusCode, 200);
        EXPECT_EQ(response.Body, "arrived at " + std::to_string(c.Count));
        EXPECT_EQ(server.RequestCount(), static_cast<size_t>(c.Count + 1));
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
    TTestHTTPServer server(
        [](const TRecordedRequest&) { return TTestAnswer::Redirect(302, "/loop"); });
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/loop"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: Maximum number of redirections (5) exceeded")));
}

TEST(HTTPExchange, RedirectToAnotherServerIsFollowedAndAnotherSchemeIsRefused) {
    TTestHTTPServer target([](const TRecordedRequest&) { return TTestAnswer::Make(200, "other"); });
    TTestHTTPServer server([&](const TRecordedRequest& request) {
        if (request.Target == "/to-other")
            return TTestAnswer::Redirect(307, target.BaseURL() + "/file");
        return TTestAnswer::Redirect(302, "ftp://127.0.0.1/file");
    });
    THTTPExchange exchange;
    EXPECT_EQ(exchange.Get(server.BaseURL() + "/to-other").Body, "other");
    EXPECT_EQ(target.LastRequest().RequestLine, "GET /file HTTP/1.1");
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/to-ftp"); },
                ThrowsMessage<std::exception>(StartsWith("REST request failed: ")));
}

TEST(HTTPExchange, StalledServerFailsAfterTheReceiveLimit) {
    TTestHTTPServer server([](const TRecordedRequest& request) {
        if (request.Target == "/before")
            return TTestAnswer::Stall();
        TTestAnswer answer = TTestAnswer::Make(200, std::string(1000, 'x'));
        answer.StallAfterBytes = 100;
        return answer;
    });
    THTTPExchange exchange;
    exchange.Timeouts.Receive = 300;
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
struct TSpeedCase {
    const char* Name;
    size_t Part;       // bytes sent at a time
    int PauseMs;       // before each part
    size_t Parts;      // the whole body
    const char* Error; // nullptr: the transfer succeeds
};

void PrintTo(const TSpeedCase& c, std::ostream* os) {
    *os << c.Name;
}

class HTTPLowSpeed : public ::testing::TestWithParam<TSpeedCase> {};

TEST_P(HTTPLowSpeed, FailsATransferSlowerThanTheLimitOverItsWindow) {
    const TSpeedCase& c = GetParam();
    const std::string body(c.Part * c.Parts, 'x');
    TTestHTTPServer server([&](const TRecordedRequest&) {
        TTestAnswer answer = TTestAnswer::Make(200, body);
        answer.TrickleBytes = c.Part;
        answer.TricklePause = std::chrono::milliseconds(c.PauseMs);
        return answer;
    });
    THTTPExchange exchange;
    exchange.Timeouts.Receive = 1000;
    exchange.LowSpeed.BytesPerSecond = 1024;
    exchange.LowSpeed.Seconds = 2;
    std::string received;
    const auto get = [&] {
        exchange.Get(server.BaseURL() + "/file",
                     [&](const char* data, size_t size) { received.append(data, size); });
    };
    if (c.Error) {
        EXPECT_THAT(get, ThrowsMessage<std::exception>(StrEq(c.Error)));
    } else {
        EXPECT_NO_THROW(get());
        EXPECT_EQ(received, body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, HTTPLowSpeed,
    ::testing::Values(
        // 500 bytes a second: 12 s for the whole body, ended after about 2 s.
        TSpeedCase{"Trickling", 100, 200, 60,
                   "REST request failed: Operation too slow. Less than 1024 bytes/sec "
                   "transferred the last 2 seconds"},
        // 40 KiB a second for 3 s.
        TSpeedCase{"SteadyLongerThanTheWindow", 4096, 100, 30, nullptr}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.Name); });

TEST(HTTPExchange, UnreachableServerIsATransportFailure) {
    int port;
    {
        TTestHTTPServer gone([](const TRecordedRequest&) { return TTestAnswer::Make(200); });
        port = gone.Port();
    }
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get("http://127.0.0.1:" + std::to_string(port) + "/x"); },
                ThrowsMessage<std::exception>(StartsWith("REST request failed: ")));
}

struct BodyCase {
    const char* Name;
    TTestAnswer Answer;
    const char* Error;
};

class HTTPBodyLimits : public ::testing::TestWithParam<BodyCase> {};

TEST_P(HTTPBodyLimits, EndTheExchangeWithAClearMessage) {
    const BodyCase& c = GetParam();
    TTestHTTPServer server([&](const TRecordedRequest&) { return c.Answer; });
    THTTPExchange exchange;
    exchange.MaxBodyInMemory = 1 << 20;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(StrEq(c.Error)));
}

TTestAnswer Endless(int status) {
    TTestAnswer answer = TTestAnswer::Make(status, std::string(64 * 1024, '['));
    answer.Endless = true;
    return answer;
}

TTestAnswer Truncated() {
    TTestAnswer answer = TTestAnswer::Make(200, "[{\"fileName\":");
    answer.ContentLength = 100;
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
    [](const auto& caseInfo) { return std::string(caseInfo.param.Name); });

TEST(HTTPExchange, EndlessServerErrorBodyIsNotRead) {
    TTestHTTPServer server([](const TRecordedRequest&) { return Endless(500); });
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(StrEq("HTTP/1.1 500 Internal Server Error")));
}

TEST(HTTPExchange, AListingOf100MBIsRefusedAtTheDefaultLimit) {
    TTestAnswer answer = TTestAnswer::Make(200, std::string(1 << 20, ' '), "application/json");
    answer.BodyRepeat = 100;
    TTestHTTPServer server([&](const TRecordedRequest&) { return answer; });
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: The answer is larger than 67108864 bytes")));
}

TEST(HTTPExchange, WriterTakesOnlyTheBodyOfASuccessAndItsErrorsEndTheExchange) {
    TTestHTTPServer server([](const TRecordedRequest& request) {
        if (request.Target == "/missing")
            return TTestAnswer::Make(404, "não há", "text/plain; charset=utf-8");
        if (request.Target == "/moved")
            return TTestAnswer::Redirect(302, "/file");
        return TTestAnswer::Make(200, std::string(300000, 'b'));
    });
    THTTPExchange exchange;
    std::string written;
    const auto writer = [&](const char* data, size_t size) { written.append(data, size); };

    const THTTPResponse moved = exchange.Get(server.BaseURL() + "/moved", writer);
    EXPECT_EQ(moved.StatusCode, 200);
    EXPECT_TRUE(moved.Body.empty());
    EXPECT_EQ(written, std::string(300000, 'b'));

    written.clear();
    const THTTPResponse missing = exchange.Get(server.BaseURL() + "/missing", writer);
    EXPECT_EQ(missing.StatusCode, 404);
    EXPECT_EQ(missing.Text(1000), "não há");
    EXPECT_TRUE(written.empty());

    EXPECT_THAT(
        [&] {
            exchange.Get(server.BaseURL() + "/file", [](const char*, size_t) {
                throw EOSError("No space left on device", 28);
            });
        },
        ThrowsMessage<std::exception>(StrEq("No space left on device")));

    // Announced larger than the limit: refused before the writer sees a byte.
    written.clear();
    exchange.MaxBodyWritten = 1000;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/file", writer); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: The answer is larger than 1000 bytes")));
    EXPECT_TRUE(written.empty());
}

struct TextCase {
    const char* Name;
    std::string Body;
    const char* ContentType;
    const char* ContentEncoding;
    const char* Expected; // or the start of the error
    bool Fails;
};

class HTTPBodyText : public ::testing::TestWithParam<TextCase> {};

TEST_P(HTTPBodyText, IsInflatedAndDecodedToUTF8) {
    const TextCase& c = GetParam();
    THTTPResponse response;
    response.Body = c.Body;
    response.ContentType = c.ContentType;
    response.ContentEncoding = c.ContentEncoding;
    if (c.Fails)
        EXPECT_THAT([&] { response.Text(1 << 20); },
                    ThrowsMessage<std::exception>(StartsWith(c.Expected)));
    else
        EXPECT_EQ(response.Text(1 << 20), c.Expected);
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
    [](const auto& caseInfo) { return std::string(caseInfo.param.Name); });

// HTTPS against a server whose certificate no public authority signed.
class HTTPSCertificates : public ::testing::Test {
protected:
    void SetUp() override {
        FFolder = std::filesystem::temp_directory_path() /
                  ("corvane-https-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FFolder);
        FCertificate = test::MakeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
        FCAFile = (FFolder / "hospital-ca.pem").string();
        std::ofstream(FCAFile) << FCertificate.CertificatePEM;
    }
    void TearDown() override {
        SetExtraCAFile("");
        std::filesystem::remove_all(FFolder);
    }

    std::filesystem::path FFolder;
    test::TTestCertificate FCertificate;
    std::string FCAFile;
};

TEST_F(HTTPSCertificates, SelfSignedServerIsRefusedWithoutTheCAAndAcceptedWithIt) {
    TTestHTTPServer server([](const TRecordedRequest&) { return TTestAnswer::Make(200, "secure"); },
                           FCertificate);
    THTTPExchange exchange;
    SetExtraCAFile("");
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    AllOf(StartsWith("REST request failed: SSL certificate problem: "),
                          HasSubstr("self-signed certificate"))));

    SetExtraCAFile(FCAFile);
    EXPECT_EQ(exchange.Get(server.BaseURL() + "/x").Body, "secure");
    EXPECT_EQ(exchange.Get("https://localhost:" + std::to_string(server.Port()) + "/x").Body,
              "secure");
}

TEST_F(HTTPSCertificates, TrustedCertificateForAnotherHostIsRefused) {
    const test::TTestCertificate other = test::MakeSelfSignedCertificate({"servidor.hospital"}, {});
    std::ofstream(FCAFile) << other.CertificatePEM;
    TTestHTTPServer server([](const TRecordedRequest&) { return TTestAnswer::Make(200, "secure"); },
                           other);
    SetExtraCAFile(FCAFile);
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get(server.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    AllOf(StartsWith("REST request failed: "), HasSubstr("127.0.0.1"))));
}

TEST_F(HTTPSCertificates, UnreadableCAFileFailsHttpsOnly) {
    TTestHTTPServer secure([](const TRecordedRequest&) { return TTestAnswer::Make(200, "s"); },
                           FCertificate);
    TTestHTTPServer plain([](const TRecordedRequest&) { return TTestAnswer::Make(200, "p"); });
    const std::string missing = (FFolder / "missing.pem").string();
    SetExtraCAFile(missing);
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get(secure.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: Cannot read the certificate authorities in \"" +
                          missing + "\"")));
    EXPECT_EQ(exchange.Get(plain.BaseURL() + "/x").Body, "p");
}

TEST_F(HTTPSCertificates, RedirectFromHttpsToHttpIsRefused) {
    TTestHTTPServer plain([](const TRecordedRequest&) { return TTestAnswer::Make(200, "plain"); });
    TTestHTTPServer secure(
        [&](const TRecordedRequest&) { return TTestAnswer::Redirect(302, plain.BaseURL() + "/x"); },
        FCertificate);
    SetExtraCAFile(FCAFile);
    THTTPExchange exchange;
    EXPECT_THAT([&] { exchange.Get(secure.BaseURL() + "/x"); },
                ThrowsMessage<std::exception>(
                    StrEq("REST request failed: Redirect from https to http refused")));
    EXPECT_EQ(plain.RequestCount(), 0u);
}

} // namespace
} // namespace corvane
