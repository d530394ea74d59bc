// qvd [--json] FILE: decodes a Quillvex snapshot (.qvd) file.
// Exit status: 0 decoded, 1 not a valid snapshot, 2 usage or read error.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/qvd/qvd_decode.h"

namespace {

// Far above the largest snapshot (67,060 bytes); a bigger file is refused
// rather than read whole.
constexpr std::size_t kMaxFileSize = 1 << 20;

int Usage() {
  std::fputs("usage: qvd [--json] FILE.qvd\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (path == nullptr && argv[i][0] != '-') {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path == nullptr) return Usage();

  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "qvd: %s: cannot open: %s\n", path, std::strerror(errno));
    return 2;
  }
  std::vector<std::uint8_t> data(kMaxFileSize + 1);
  const std::size_t size = std::fread(data.data(), 1, data.size(), file);
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) {
    std::fprintf(stderr, "qvd: %s: read error\n", path);
    return 2;
  }
  if (size > kMaxFileSize) {
    std::fprintf(stderr, "qvd: %s: more than %zu bytes, too large to be a snapshot\n", path, kMaxFileSize);
    return 1;
  }

  const qvd::DecodeResult result = qvd::Decode(data.data(), size);
  if (!result.snapshot) {
    std::fprintf(stderr, "qvd: %s: %s\n", path, result.error.c_str());
    return 1;
  }
  const std::string text = json ? qvd::FormatJson(*result.snapshot) : qvd::FormatText(*result.snapshot);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 2;
}
