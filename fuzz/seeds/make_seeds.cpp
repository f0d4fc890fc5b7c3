// Writes the fuzz targets' seed corpora from the test suite's cases.
//   velmar-fuzz-seeds DIR     seeds into DIR/data_file, DIR/process_reply, DIR/boot_loader and
//                             DIR/options

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/seeds/seeds.h"

namespace velmar::fuzz::seeds {

SeedWriter::SeedWriter(const std::string& dir, const std::string& target)
    : m_dir(dir + "/" + target) {
  std::error_code error;
  std::filesystem::create_directories(m_dir, error);
  m_ok = !error;
}

void SeedWriter::Add(const std::string& name, const Bytes& input) {
  std::ofstream out(m_dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(input.data()),
            static_cast<std::streamsize>(input.size()));
  m_ok = m_ok && static_cast<bool>(out.flush());
  ++m_count;
}

}  // namespace velmar::fuzz::seeds

int main(int argc, char** argv) {
  using namespace velmar::fuzz::seeds;
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmar-fuzz-seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!AddDataFileSeeds(dir) || !AddProcessReplySeeds(dir) || !AddBootLoaderSeeds(dir) ||
      !AddOptionsSeeds(dir)) {
    std::fprintf(stderr, "velmar-fuzz-seeds: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
