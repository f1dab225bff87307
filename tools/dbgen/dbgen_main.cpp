// dbgen: writes driver databases and their download archives for tests,
// the demo service and benchmarks.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dbgen/dbgen_lib.h"

namespace {

constexpr const char kHelp[] = R"(usage:
  dbgen db [--size small|sample|large] [--rows N] [--seed N] [--arch 32|64]
           [--os all|5|6|7|8|81|10] [--date yyyy-mm-dd]
           [--pci-ids FILE] [--usb-ids FILE] OUT.db
      Writes a driver database: identifiers and package file names in stored
      (scrambled) form, the settings rows date, cut, os, plain ("0") and arch,
      PCI/USB vendor codes from pci.ids/usb.ids, and offers generated from
      the seed for real PCI and USB devices (common desktop chips first).
        --size   small: 400 driver rows (test fixture, default)
                 sample: 12000 rows (passes the program's 10000-row check)
                 large: 1000000 rows (benchmarks)
        --rows   exact number of driver rows instead of the size's default
        --seed   generator seed (default 1); same seed, same file
        --arch   32 or 64 (default 64): only the package names differ
        --os     all (default): offers for every Windows version, cut = 0;
                 a version code: only that version's offers, cut = 1, os = code
        --date   the database date (default 2024-03-15); the hand-picked
                 offers of the sample size released after it are left out
  dbgen archive DB OUT.7z
      Packs DB as "Drivers.db" into a 7z archive (needs the 7z command) and
      writes the archive's MD5 to OUT.7z.md5 and to standard output.
  dbgen service [--size small|sample|large] [--date yyyy-mm-dd] DIR
      Fills DIR as vantrix-service --root serves it: for arch 32 and 64 the
      sample database new machines ship (default size sample, seed 1, every
      Windows version), dated --date (default today, UTC), packed under each
      Windows code's name as DIR/database/Drivers<ARCH>-<OS>.7z with its MD5
      beside it, and DIR/database/lastupdate.txt with the date. A sample PC
      updated from DIR keeps its offers and gains the hand-picked ones
      released since its database (dated 2024-03-15).
  dbgen --help
)";

int Usage(const char* why) {
  std::fprintf(stderr, "dbgen: %s\n\n%s", why, kHelp);
  return 2;
}

int Db(const std::vector<std::string>& args) {
  vx::dbgen::DbOptions opt;
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      return i + 1 < args.size() ? &args[++i] : nullptr;
    };
    const std::string* v = nullptr;
    if (a == "--size") {
      if (!(v = value())) return Usage("--size needs a value");
      if (*v == "small") opt.size = vx::dbgen::DbSize::kSmall;
      else if (*v == "sample") opt.size = vx::dbgen::DbSize::kSample;
      else if (*v == "large") opt.size = vx::dbgen::DbSize::kLarge;
      else return Usage("unknown size");
    } else if (a == "--rows") {
      if (!(v = value())) return Usage("--rows needs a value");
      opt.rows = std::atoll(v->c_str());
    } else if (a == "--seed") {
      if (!(v = value())) return Usage("--seed needs a value");
      opt.seed = std::strtoull(v->c_str(), nullptr, 10);
    } else if (a == "--arch") {
      if (!(v = value()) || (*v != "32" && *v != "64")) return Usage("--arch is 32 or 64");
      opt.arch = std::atoi(v->c_str());
    } else if (a == "--os") {
      if (!(v = value())) return Usage("--os needs a value");
      if (*v == "all") {
        opt.os = 0;
      } else {
        int code = std::atoi(v->c_str());
        bool known = false;
        for (int c : vx::dbgen::kWindowsCodes) known |= c == code;
        if (!known) return Usage("--os is all, 5, 6, 7, 8, 81 or 10");
        opt.os = code;
      }
    } else if (a == "--date") {
      if (!(v = value())) return Usage("--date needs a value");
      opt.date = *v;
    } else if (a == "--pci-ids") {
      if (!(v = value())) return Usage("--pci-ids needs a value");
      opt.pci_ids = *v;
    } else if (a == "--usb-ids") {
      if (!(v = value())) return Usage("--usb-ids needs a value");
      opt.usb_ids = *v;
    } else if (!a.empty() && a[0] == '-') {
      return Usage(("unknown option " + a).c_str());
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage("more than one output file");
    }
  }
  if (out.empty()) return Usage("no output file");
  std::string error;
  int64_t rows = 0;
  if (!vx::dbgen::WriteDriverDatabase(opt, out, &error, &rows)) {
    std::fprintf(stderr, "dbgen: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %lld driver rows\n", out.c_str(), static_cast<long long>(rows));
  return 0;
}

int Archive(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage("archive needs DB and OUT.7z");
  std::string md5, error;
  if (!vx::dbgen::WriteDatabaseArchive(args[0], args[1], &md5, &error)) {
    std::fprintf(stderr, "dbgen: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", md5.c_str());
  return 0;
}

std::string TodayUtc() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof(buf), "%Y-%m-%d", &tm);
  return buf;
}

int Service(const std::vector<std::string>& args) {
  namespace fs = std::filesystem;
  vx::dbgen::DbOptions opt;
  opt.size = vx::dbgen::DbSize::kSample;
  opt.date = TodayUtc();
  opt.seed = vx::dbgen::kSampleSeed;
  std::string dir;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--size" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      if (v == "small") opt.size = vx::dbgen::DbSize::kSmall;
      else if (v == "sample") opt.size = vx::dbgen::DbSize::kSample;
      else if (v == "large") opt.size = vx::dbgen::DbSize::kLarge;
      else return Usage("unknown size");
    } else if (a == "--date" && i + 1 < args.size()) {
      opt.date = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return Usage(("unknown option " + a).c_str());
    } else if (dir.empty()) {
      dir = a;
    } else {
      return Usage("more than one folder");
    }
  }
  if (dir.empty()) return Usage("service needs DIR");
  std::error_code ec;
  const fs::path database = fs::path(dir) / "database";
  fs::create_directories(database, ec);
  // Every Windows code gets the whole database rather than a cut: cutting
  // the sample leaves a code a sixth of its rows or less, below the program's
  // 10000-row check, and padding it with more packages would give the
  // sample PCs offers their shipped database never made (measured: three
  // more on the desktop, two on the laptop).
  for (int arch : {32, 64}) {
    opt.arch = arch;
    opt.os = 0;
    const std::string prefix = "Drivers" + std::to_string(arch) + "-";
    const fs::path db = database / (prefix + "all.db");
    const fs::path packed = database / (prefix + "all.7z");
    std::string error, md5;
    if (!vx::dbgen::WriteDriverDatabase(opt, db, &error) ||
        !vx::dbgen::WriteDatabaseArchive(db, packed, &md5, &error)) {
      std::fprintf(stderr, "dbgen: %s\n", error.c_str());
      return 1;
    }
    fs::remove(db, ec);
    for (int os : vx::dbgen::kWindowsCodes) {
      const fs::path archive = database / (prefix + std::to_string(os) + ".7z");
      const fs::path md5_file = fs::path(archive).concat(".md5");
      fs::copy_file(packed, archive, fs::copy_options::overwrite_existing, ec);
      if (!ec)
        fs::copy_file(fs::path(packed).concat(".md5"), md5_file,
                      fs::copy_options::overwrite_existing, ec);
      if (ec) {
        std::fprintf(stderr, "dbgen: cannot write %s: %s\n", archive.c_str(),
                     ec.message().c_str());
        return 1;
      }
      std::printf("%s %s\n", archive.filename().c_str(), md5.c_str());
    }
    fs::remove(packed, ec);
    fs::remove(fs::path(packed).concat(".md5"), ec);
  }
  std::ofstream(database / "lastupdate.txt") << opt.date << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command");
  std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (command == "db") return Db(args);
  if (command == "archive") return Archive(args);
  if (command == "service") return Service(args);
  return Usage(("unknown command " + command).c_str());
}
