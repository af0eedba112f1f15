// The fair peer of `velkor http get URL` (body into memory, then to standard
// output): libcurl's own way to take a body into memory (its getinmemory
// example: a write callback that grows one block with realloc), and one
// write at the end.
//   curl_memory_get URL > FILE
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Memory {
    char* data = nullptr;
    std::size_t size = 0;
};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Memory*>(user);
    const std::size_t n = size * count;
    char* grown = static_cast<char*>(std::realloc(body->data, body->size + n));
    if (!grown) return 0;
    std::memcpy(grown + body->size, data, n);
    body->data = grown;
    body->size += n;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: curl_memory_get URL\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* curl = curl_easy_init();
    Memory body;
    curl_easy_setopt(curl, CURLOPT_URL, argv[1]);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    if (result != CURLE_OK) {
        std::fprintf(stderr, "curl_memory_get: %s\n", curl_easy_strerror(result));
        return 1;
    }
    const bool written = std::fwrite(body.data, 1, body.size, stdout) == body.size;
    std::free(body.data);
    return written ? 0 : 1;
}
