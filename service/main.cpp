// corvane-fileservice --root DIR [--bind 127.0.0.1] [--port 8080] [--threads N]
//                     [--header-timeout SECONDS] [--send-buffer KIB] [--file-cache MIB]
//                     [--tls-certificate FILE --tls-key FILE]
// corvane-fileservice export --root DIR --out DIR
#include "platform/Errors.h"
#include "platform/ServiceProcess.h"
#include "platform/Trace.h"
#include "service/FileService.h"
#include "service/NginxExport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Uso: corvane-fileservice --root PASTA [--bind 127.0.0.1] [--port 8080] [--threads N]\n"
    "                         [--header-timeout 20] [--send-buffer 128] [--file-cache 64]\n"
    "                         [--tls-certificate ARQUIVO --tls-key ARQUIVO]\n"
    "Serve a árvore de PASTA aos atualizadores das estações (/folderlist e /download).\n"
    "Com --port 0 escolhe uma porta livre. --header-timeout: segundos que uma conexão tem\n"
    "para mandar o cabeçalho de um pedido, contados de quando é aceita ou da resposta\n"
    "anterior; depois disso é fechada. --send-buffer: KiB que o sistema guarda do que cada\n"
    "download ainda não entregou (0: o sistema decide; as listagens ficam sempre a cargo do\n"
    "sistema). --file-cache: MiB de memória para o conteúdo dos arquivos de até 4 MiB, lidos\n"
    "uma vez e enviados da memória enquanto não mudam (0: todos enviados do disco).\n"
    "--tls-certificate e --tls-key: o certificado (PEM, seguido da cadeia) e a\n"
    "chave privada (PEM) para servir HTTPS; vazios, serve HTTP.\n"
    "Pare com SIGTERM ou Ctrl+C.\n"
    "\n"
    "Uso: corvane-fileservice export --root PASTA --out SAIDA\n"
    "Escreve em SAIDA as listagens da árvore de PASTA e a configuração com que o nginx as\n"
    "serve e serve os arquivos como o serviço serviria: inclua SAIDA/nginx-http.conf no bloco\n"
    "http {} e SAIDA/nginx-server.conf num bloco server {}. Depois de cada exportação,\n"
    "recarregue o nginx (nginx -s reload).\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "corvane-fileservice: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

bool ReadNumber(std::string_view text, unsigned long maximum, unsigned long& value) {
    if (text.empty() || text.size() > 9)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value <= maximum;
}

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return std::nullopt;
    return content;
}

int Export(int argc, char** argv) {
    corvane::ExportOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc)
            return Usage("falta o valor de " + std::string(arg) + ".");
        const std::string_view value(argv[++i]);
        if (arg == "--root")
            options.root = std::string(value);
        else if (arg == "--out")
            options.out = std::string(value);
        else
            return Usage("opção desconhecida: " + std::string(arg) + ".");
    }
    if (options.root.empty())
        return Usage("informe a pasta servida com --root.");
    if (options.out.empty())
        return Usage("informe a pasta da exportação com --out.");
    try {
        const corvane::ExportResult result = corvane::ExportForNginx(options);
        std::printf("%zu arquivos exportados de %s.\n"
                    "Inclua %s no bloco http {} do nginx e %s num bloco server {};\n"
                    "recarregue o nginx (nginx -s reload) para servir esta exportação.\n",
                    result.files, options.root.c_str(), result.httpInclude.c_str(),
                    result.serverInclude.c_str());
        return 0;
    } catch (const corvane::DirectoryNotFoundException&) {
        std::fprintf(stderr, "corvane-fileservice: a pasta %s não existe.\n", options.root.c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-fileservice: %s\n", error.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "export")
        return Export(argc, argv);
    corvane::FileServiceOptions options;
    bool hasRoot = false;
    // Empty names (a service's configuration that leaves them blank) mean plain HTTP.
    std::string certificateFile;
    std::string keyFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc)
            return Usage("falta o valor de " + std::string(arg) + ".");
        const std::string_view value(argv[++i]);
        unsigned long number = 0;
        if (arg == "--root") {
            options.root = std::string(value);
            hasRoot = true;
        } else if (arg == "--bind") {
            options.bind = std::string(value);
        } else if (arg == "--port") {
            if (!ReadNumber(value, 65535, number))
                return Usage("porta inválida: " + std::string(value) + ".");
            options.port = static_cast<std::uint16_t>(number);
        } else if (arg == "--threads") {
            if (!ReadNumber(value, 1024, number) || number == 0)
                return Usage("número de threads inválido: " + std::string(value) + ".");
            options.threads = static_cast<unsigned>(number);
        } else if (arg == "--header-timeout") {
            if (!ReadNumber(value, 3600, number) || number == 0)
                return Usage("tempo de cabeçalho inválido: " + std::string(value) + ".");
            options.headerTimeout = std::chrono::seconds(number);
        } else if (arg == "--tls-certificate") {
            certificateFile = std::string(value);
        } else if (arg == "--tls-key") {
            keyFile = std::string(value);
        } else if (arg == "--file-cache") {
            if (!ReadNumber(value, 1 << 16, number))
                return Usage("tamanho do cache de arquivos inválido: " + std::string(value) + ".");
            options.fileCacheMiB = static_cast<unsigned>(number);
        } else if (arg == "--send-buffer") {
            if (!ReadNumber(value, 1 << 20, number))
                return Usage("tamanho de buffer de envio inválido: " + std::string(value) + ".");
            options.sendBufferKiB = static_cast<unsigned>(number);
        } else {
            return Usage("opção desconhecida: " + std::string(arg) + ".");
        }
    }
    if (!hasRoot)
        return Usage("informe a pasta servida com --root.");
    if (certificateFile.empty() != keyFile.empty())
        return Usage("para HTTPS informe --tls-certificate e --tls-key.");
    for (const auto& [fileName, text] : {std::pair{&certificateFile, &options.tlsCertificate},
                                         std::pair{&keyFile, &options.tlsKey}}) {
        if (fileName->empty())
            continue;
        std::optional<std::string> content = ReadWholeFile(*fileName);
        if (!content) {
            std::fprintf(stderr, "corvane-fileservice: não foi possível ler %s.\n",
                         fileName->c_str());
            return 1;
        }
        *text = std::move(*content);
    }

    // Before the service's threads exist, so that they inherit the blocked stop signals.
    corvane::PrepareServiceProcess();
    try {
        corvane::FileService service(options);
        // The address on standard output, so that a script that asked for port 0 finds it.
        std::printf("%s://%s:%u\n", options.tlsCertificate.empty() ? "http" : "https",
                    options.bind.find(':') != std::string::npos ? ("[" + options.bind + "]").c_str()
                                                                : options.bind.c_str(),
                    static_cast<unsigned>(service.Port()));
        std::fflush(stdout);
        corvane::WriteTraceLine("corvane-fileservice: servindo " + options.root + " em " +
                                options.bind + " porta " + std::to_string(service.Port()));
        const corvane::StopRequest stop = corvane::WaitForStopRequest();
        corvane::WriteTraceLine("corvane-fileservice: " + corvane::DescribeStopRequest(stop) +
                                " recebido, parando.");
        service.Stop();
        corvane::WriteTraceLine("corvane-fileservice: parado.");
        return 0;
    } catch (const corvane::DirectoryNotFoundException&) {
        std::fprintf(stderr, "corvane-fileservice: a pasta %s não existe.\n", options.root.c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-fileservice: %s\n", error.what());
        return 1;
    }
}
