// Benchmark, not a test: the ANAF stand-in with a mailbox of 100,000 messages: how long it takes
// to start, to page through the whole 60-day list at ANAF's 500 a page over one HTTPS connection,
// and to serve 1,000 archives. Needs the test certificates (build/test-certs).
#include <curl/curl.h>

#include <chrono>
#include <cstdio>

#include "support/standin_process.h"

namespace {

size_t collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

double since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    testsupport::StandinOptions options;
    options.messages = 100000;
    auto t0 = std::chrono::steady_clock::now();
    testsupport::StandinProcess standin(options);
    std::printf("start with %d messages: %.2f s\n", options.messages, since(t0));

    CURL* h = curl_easy_init();  // one handle: the connection is kept, as a client would
    std::string body;
    curl_easy_setopt(h, CURLOPT_CAINFO, standin.caFile().c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_slist* headers = curl_slist_append(nullptr, "Authorization: Bearer demo-access-token");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    const auto get = [&](const std::string& target) {
        body.clear();
        curl_easy_setopt(h, CURLOPT_URL, (standin.url("api") + target).c_str());
        return curl_easy_perform(h) == CURLE_OK;
    };

    const long long end = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch()).count();
    const long long start = end - 60LL * 86400 * 1000;
    t0 = std::chrono::steady_clock::now();
    int pages = 1, listed = 0;
    std::size_t bytes = 0;
    for (int p = 1; p <= pages; ++p) {
        if (!get("/prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=" + std::to_string(start) +
                 "&endTime=" + std::to_string(end) + "&cif=41801234&pagina=" + std::to_string(p)))
            break;
        bytes += body.size();
        const auto at = body.find("\"numar_total_pagini\":");
        if (at != std::string::npos) pages = std::atoi(body.c_str() + at + 21);
        for (auto i = body.find("\"id\":"); i != std::string::npos; i = body.find("\"id\":", i + 1)) ++listed;
    }
    const double listing = since(t0);
    std::printf("list of %d messages in %d pages (%.1f MB): %.2f s, %.1f ms a page\n", listed, pages,
                static_cast<double>(bytes) / 1e6, listing, 1000 * listing / pages);

    t0 = std::chrono::steady_clock::now();
    std::size_t zipped = 0;
    for (int i = 0; i < 1000; ++i)
        if (get("/prod/FCTEL/rest/descarcare?id=" + std::to_string(3000000000LL + i * 97))) zipped += body.size();
    const double downloads = since(t0);
    std::printf("1000 downloads (%.1f MB): %.2f s, %.2f ms each\n", static_cast<double>(zipped) / 1e6, downloads,
                downloads);
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    return 0;
}
