#include "library/TableFetch.h"

#include "base/Translate.h"
#include "files/Files.h"
#include "library/TableReader.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>

#ifndef TAPPO_VERSION
#define TAPPO_VERSION "0"
#endif

namespace tappo {
namespace {

constexpr long ConnectTimeoutS = 10, TransferTimeoutS = 60, LowSpeedTimeS = 15;
constexpr long MaxRedirects = 5;

std::string Folded(const std::string& text, size_t count) {
    std::string out = text.substr(0, count);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    return out;
}

// The seconds TAPPO_FETCH_TIMEOUT_S asks for (1-600), or `otherwise`.
long TimeoutS(long otherwise) {
    const char* given = std::getenv("TAPPO_FETCH_TIMEOUT_S");
    if (!given) return otherwise;
    char* end = nullptr;
    const long s = std::strtol(given, &end, 10);
    return end != given && *end == '\0' && s >= 1 && s <= 600 ? std::min(s, otherwise) : otherwise;
}

struct Download {
    std::string bytes;
    bool tooLarge = false;
};

size_t Keep(char* data, size_t size, size_t count, void* user) {
    auto* download = static_cast<Download*>(user);
    const size_t n = size * count;
    if (download->bytes.size() + n > MaxTableDocumentBytes) {
        download->tooLarge = true;
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    }
    download->bytes.append(data, n);
    return n;
}

std::string TooLarge(const std::string& url) {
    return url + ": " +
           FormatText(Tr("larger than %d MB"), (long long)(MaxTableDocumentBytes >> 20));
}

// The message for a transfer that failed with `code`.
std::string FailureText(CURL* curl, CURLcode code, const Download& download, const std::string& url,
                        const char* detail) {
    long status = 0;
    switch (code) {
    case CURLE_HTTP_RETURNED_ERROR:
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return url + ": " + FormatText(Tr("the server answered HTTP %d"), (long long)status);
    case CURLE_OPERATION_TIMEDOUT:
        return FormatText(Tr("%s: timed out (%s)"), url, detail);
    case CURLE_TOO_MANY_REDIRECTS:
        return url + ": " + FormatText(Tr("more than %d redirects"), (long long)MaxRedirects);
    case CURLE_UNSUPPORTED_PROTOCOL:
        return FormatText(Tr("%s: only http and https addresses are fetched (%s)"), url, detail);
    case CURLE_WRITE_ERROR:
        if (download.tooLarge) return TooLarge(url);
        break;
    default:
        break;
    }
    return url + ": " + (*detail ? detail : curl_easy_strerror(code));
}

void SetOptions(CURL* curl, const std::string& url, Download& download, char* errors) {
    const long connect = TimeoutS(ConnectTimeoutS), total = TimeoutS(TransferTimeoutS);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connect);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, total);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, TimeoutS(LowSpeedTimeS));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(MaxTableDocumentBytes));
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "TappoPlayer/" TAPPO_VERSION " (BMS autoplayer)");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errors);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Keep);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
}

FetchedDocument FetchOverNetwork(const std::string& url) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) throw TableError(url + ": out of memory");
    Download download;
    char errors[CURL_ERROR_SIZE] = {};
    SetOptions(curl.get(), url, download, errors);
    const CURLcode code = curl_easy_perform(curl.get());
    if (code == CURLE_FILESIZE_EXCEEDED) throw TableError(TooLarge(url));
    if (code != CURLE_OK) throw TableError(FailureText(curl.get(), code, download, url, errors));
    FetchedDocument document{std::move(download.bytes), url};
    char* effective = nullptr;
    if (curl_easy_getinfo(curl.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        document.Url = effective;
    return document;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "file:///a%20b/c" -> "/a b/c"; "file://localhost/x" -> "/x".
std::string PathOfFileUrl(const std::string& url) {
    std::string rest = url.substr(7);
    if (Folded(rest, 9) == "localhost") rest = rest.substr(9);
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() + 0 && HexValue(rest[i + 1]) >= 0 &&
            HexValue(rest[i + 2]) >= 0) {
            path += char(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

} // namespace

bool IsWebUrl(const std::string& source) {
    const std::string start = Folded(source, 8);
    return start.starts_with("http://") || start == "https://";
}

FetchedDocument FetchTableDocument(const std::string& source) {
    if (IsWebUrl(source)) return FetchOverNetwork(source);
    const bool fileUrl = Folded(source, 7) == "file://";
    const size_t colon = source.find(':');
    if (!fileUrl && colon != std::string::npos && colon > 1 &&
        source.find('/') > colon) // "ftp://x", but not "C:" nor "./a:b"
        throw TableError(FormatText(Tr("%s: only http and https addresses are fetched (%s)"),
                                    source, source.substr(0, colon)));
    const std::string path = fileUrl ? PathOfFileUrl(source) : source;
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(path, MaxTableDocumentBytes);
        return {std::string(bytes.begin(), bytes.end()), path};
    } catch (const FileTooLargeError&) {
        throw TableError(TooLarge(source));
    } catch (const Error& e) {
        throw TableError(e.what()); // names the file
    }
}

} // namespace tappo
