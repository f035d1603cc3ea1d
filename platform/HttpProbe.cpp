#include "platform/HttpProbe.h"

#include <curl/curl.h>

#include <deque>
#include <mutex>

#include "platform/Socket.h"

namespace platform {
namespace {

void InitCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One request in flight: which address it answers for and how it was asked.
struct Request {
    std::size_t nIndex = 0;
    std::string strUrl;
    bool bGet = false;
    CURL* easy = nullptr;
    char error[CURL_ERROR_SIZE] = {};
};

// The body is of no interest: the first byte of it ends the transfer.
std::size_t DropBody(char*, std::size_t, std::size_t, void*) { return 0; }

bool IsTlsError(CURLcode code) {
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return true;
    default:
        return false;
    }
}

CURL* MakeEasy(Request& req, const HttpProbeOptions& options) {
    CURL* easy = curl_easy_init();
    if (!easy) return nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, req.strUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, req.bGet ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DropBody);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.nTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, options.strUserAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, req.error);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &req);
    return easy;
}

} // namespace

std::vector<HttpProbeResult> ProbeUrls(const std::vector<std::string>& urls, const HttpProbeOptions& options,
                                       const StopSignal* stop) {
    InitCurl();
    std::vector<HttpProbeResult> results(urls.size());
    CURLM* multi = curl_multi_init();
    if (!multi) {
        for (HttpProbeResult& r : results) {
            r.error = HttpProbeResult::Error::Network;
            r.strError = "libcurl could not start";
        }
        return results;
    }
    // Requests live in a deque: redirects and GET retries add to it while
    // curl holds pointers to those in flight.
    std::deque<Request> requests;
    std::deque<Request*> waiting;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        requests.push_back(Request{i, urls[i]});
        waiting.push_back(&requests.back());
    }
    int inFlight = 0;
    auto fail = [&](Request& req, HttpProbeResult::Error error, std::string text) {
        results[req.nIndex].error = error;
        results[req.nIndex].strError = std::move(text);
    };
    auto startWaiting = [&] {
        while (inFlight < std::max(1, options.nParallel) && !waiting.empty()) {
            Request& req = *waiting.front();
            waiting.pop_front();
            req.easy = MakeEasy(req, options);
            if (!req.easy || curl_multi_add_handle(multi, req.easy) != CURLM_OK) {
                if (req.easy) curl_easy_cleanup(req.easy);
                req.easy = nullptr;
                fail(req, HttpProbeResult::Error::Network, "libcurl could not start a request");
                continue;
            }
            ++inFlight;
        }
    };
    // What follows an answer: the result, or the next request of the same address.
    auto finish = [&](Request& req, CURLcode code) {
        HttpProbeResult& result = results[req.nIndex];
        long status = 0;
        curl_easy_getinfo(req.easy, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr;
        curl_easy_getinfo(req.easy, CURLINFO_REDIRECT_URL, &location);
        const std::string next = location ? location : "";
        // A body cut short on purpose is still an answer.
        if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && status > 0)) {
            std::string text = req.error[0] ? req.error : curl_easy_strerror(code);
            fail(req, code == CURLE_OPERATION_TIMEDOUT ? HttpProbeResult::Error::TimedOut
                      : IsTlsError(code)               ? HttpProbeResult::Error::Tls
                                                       : HttpProbeResult::Error::Network,
                 std::move(text));
            return;
        }
        result.nStatus = static_cast<int>(status);
        if (!req.bGet && (status == 405 || status == 501)) {
            result.bGetAfterHead = true;
            requests.push_back(Request{req.nIndex, req.strUrl, true});
            waiting.push_back(&requests.back());
            return;
        }
        if (status >= 300 && status < 400 && !next.empty()) {
            result.listRedirects.push_back(HttpHop{static_cast<int>(status), next});
            if (static_cast<int>(result.listRedirects.size()) > options.nMaxRedirects) {
                fail(req, HttpProbeResult::Error::TooManyRedirects,
                     "more than " + std::to_string(options.nMaxRedirects) + " redirects");
                return;
            }
            requests.push_back(Request{req.nIndex, next, req.bGet});
            waiting.push_back(&requests.back());
        }
    };

    startWaiting();
    bool stopped = false;
    while (inFlight > 0) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Request* req = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &req);
            const CURLcode code = msg->data.result;
            finish(*req, code);
            curl_multi_remove_handle(multi, req->easy);
            curl_easy_cleanup(req->easy);
            req->easy = nullptr;
            --inFlight;
        }
        startWaiting();
        if (inFlight == 0) break;
        curl_waitfd wake{stop ? stop->WaitHandle() : -1, CURL_WAIT_POLLIN, 0};
        curl_multi_poll(multi, stop ? &wake : nullptr, stop ? 1 : 0, 200, nullptr);
        if (stop && stop->IsRequested()) {
            stopped = true;
            break;
        }
    }
    for (Request& req : requests) {
        if (!req.easy) continue;
        fail(req, HttpProbeResult::Error::Stopped, "stopped");
        curl_multi_remove_handle(multi, req.easy);
        curl_easy_cleanup(req.easy);
        req.easy = nullptr;
    }
    curl_multi_cleanup(multi);
    if (stopped)
        for (Request* req : waiting) fail(*req, HttpProbeResult::Error::Stopped, "stopped");
    return results;
}

} // namespace platform
