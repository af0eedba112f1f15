// The GMime 3 peer of the mail benchmark: the same jobs on the same mails
// (see MailMessageBench.cpp), each run once, timed, with the peak memory.
// usage: gmime_mail_bench DIR set|big|extract|compose
#include <gmime/gmime.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void DecodePart(GMimeObject*, GMimeObject* part, gpointer data) {
    if (!GMIME_IS_PART(part)) return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content) return;
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, out);
    *static_cast<unsigned long long*>(data) +=
        g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out))->len;
    g_object_unref(out);
}

// Each part into its own file of the folder g_extractFolder names.
std::string g_extractFolder;
int g_partNumber = 0;

void ExtractPart(GMimeObject*, GMimeObject* part, gpointer data) {
    if (!GMIME_IS_PART(part)) return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content) return;
    const std::string path = g_extractFolder + "/part-" + std::to_string(g_partNumber++);
    GMimeStream* out = g_mime_stream_fs_open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644, nullptr);
    if (!out) return;
    *static_cast<unsigned long long*>(data) +=
        static_cast<unsigned long long>(g_mime_data_wrapper_write_to_stream(content, out));
    g_mime_stream_flush(out);
    g_object_unref(out);
}

unsigned long long AnalyseAndDecode(const std::string& text, GMimeObjectForeachFunc each = DecodePart) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    unsigned long long bytes = 0;
    if (msg) {
        g_mime_message_foreach(msg, each, &bytes);
        g_object_unref(msg);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return bytes;
}

unsigned long long ComposeBig(const std::string& data) {
    GMimeMessage* msg = g_mime_message_new(TRUE);
    g_mime_message_add_mailbox(msg, GMIME_ADDRESS_TYPE_FROM, "Ann", "ann@example.org");
    g_mime_message_add_mailbox(msg, GMIME_ADDRESS_TYPE_TO, "Bob", "bob@example.org");
    g_mime_message_set_subject(msg, "big", "utf-8");
    GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");
    GMimeTextPart* text = g_mime_text_part_new_with_subtype("plain");
    g_mime_text_part_set_text(text, "Here is the file.\r\n");
    GMimePart* file = g_mime_part_new_with_type("application", "octet-stream");
    g_mime_part_set_filename(file, "big.bin");
    GByteArray* array = g_byte_array_new();
    g_byte_array_append(array, reinterpret_cast<const guint8*>(data.data()), data.size());
    GMimeStream* source = g_mime_stream_mem_new_with_byte_array(array);
    GMimeDataWrapper* wrapper = g_mime_data_wrapper_new_with_stream(source, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(file, wrapper);
    g_mime_part_set_content_encoding(file, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_multipart_add(mixed, GMIME_OBJECT(text));
    g_mime_multipart_add(mixed, GMIME_OBJECT(file));
    g_mime_message_set_mime_part(msg, GMIME_OBJECT(mixed));
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(GMIME_OBJECT(msg), nullptr, out);
    const unsigned long long bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out))->len;
    g_object_unref(out);
    g_object_unref(wrapper);
    g_object_unref(source);
    g_object_unref(file);
    g_object_unref(text);
    g_object_unref(mixed);
    g_object_unref(msg);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    g_mime_init();
    const std::string dir = argv[1], job = argv[2];
    std::vector<std::string> texts;
    std::string data;
    if (job == "set") {
        for (const auto& e : std::filesystem::directory_iterator(dir + "/set")) texts.push_back(ReadFile(e.path()));
    } else if (job == "big" || job == "extract") {
        texts.push_back(ReadFile(dir + "/big.eml"));
    } else {
        data = ReadFile(dir + "/big.bin");
    }
    const auto start = std::chrono::steady_clock::now();
    unsigned long long bytes = 0;
    if (job == "compose") bytes = ComposeBig(data);
    else if (job == "extract") {
        g_extractFolder = dir + "/out-gmime";
        std::filesystem::create_directories(g_extractFolder);
        bytes = AnalyseAndDecode(texts[0], ExtractPart);
    } else for (const auto& t : texts) bytes += AnalyseAndDecode(t);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("gmime  %-8s %9.1f ms  %12llu bytes  peak %6ld MiB\n", job.c_str(), ms, bytes,
                usage.ru_maxrss / 1024);
    g_mime_shutdown();
    return 0;
}
