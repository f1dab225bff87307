// vantrix-service: a local stand-in for the maker's web service. It answers
// the program's requests from a folder, records everything it receives so
// tests can look at it, and misbehaves on request so the program's failure
// handling can be exercised.
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/md5.h"
#include "smtp_sink.h"

namespace fs = std::filesystem;

namespace vx::service {

namespace {

constexpr const char* kHelp = R"(usage: vantrix-service --root DIR [options]

Answers the requests of the Vantrix program on 127.0.0.1 from DIR.

options:
  --root DIR          folder served (layout below); required
  --port N            HTTP port (default 0: a free port)
  --smtp-port N       SMTP port (default 0: a free port; -1: no SMTP)
  --record DIR        write every request, upload and mail into DIR, one file each
  --port-file FILE    once listening, write "http=PORT" and "smtp=PORT" lines to FILE
  --fault RULE        misbehave (repeatable; see below)
  --fault-file FILE   rules read again before every request (default DIR/faults.txt)
  --help              this text

Prints "listening on 127.0.0.1:PORT" and "smtp on 127.0.0.1:PORT" once ready.
Ends on SIGINT or SIGTERM.

folder layout:
  database/Drivers<ARCH>-<OS>.7z  database archive for arch 32|64 and Windows code OS
  database/Drivers<ARCH>.7z       ... for any Windows code, else database/Drivers.7z
  database/lastupdate.txt         date "yyyy-mm-dd" of the newest database (default:
                                  the archive's modification date, else today)
  downloads/<file>                driver packages, GET /downloads/<file>
  rpc/getdatabasecxw-<ARCH>-<OS>.txt, rpc/getlastupdatecxw.txt
                                  optional verbatim replies replacing the generated ones
  anything else                   served as a static file under its path

requests answered:
  GET  /rpc/getdatabasecxw?arch=32|64&os=N
       {"ok":1,"error":0,"url":"http:\/\/HOST\/database\/NAME","file_hash":"MD5"}
       or {"ok":0,"error":1,...} when no archive exists
  GET  /rpc/getlastupdatecxw         {"date":"yyyy-mm-dd"}
  GET  /database/<file>, /downloads/<file>
  GET  /rpc/sendinstall?..., /rpc/senduninstall?...   "OK"
  POST /rpc/senddriverstats  multipart, file field "file" (400 without it)
  POST /rpc/sendsnapshot     multipart, file field "snapshot_file" (400 without it)
  GET|POST /bugreport.php    "OK"
  SMTP EHLO/HELO, AUTH LOGIN/PLAIN (any account), MAIL FROM, RCPT TO, DATA, RSET,
       NOOP, QUIT; each message stored as NNNNNN-mail.eml in the record folder

record folder (--record): NNNNNN-METHOD-PATH.txt per request (request line,
headers, blank line, body unless multipart; multipart parts listed as
"Part: name=... filename=... content_type=... size=... file=..."), each
uploaded part as NNNNNN-FIELD-FILENAME, each mail as NNNNNN-mail.eml with
X-Envelope-From/X-Envelope-To/X-Auth-User headers in front. Files appear
whole (written aside, then renamed) before the reply is sent.

fault rules: [PATH_PREFIX=]KIND[:ARG]; without a prefix the rule holds for
every path. The first matching rule of --fault-file, then of --fault, wins;
a query parameter "vxfault=KIND[:ARG]" on a request overrides both.
  status:N       answer status N with a small complete body
  no-length      send the body chunked, without Content-Length
  empty          200 with an empty chunked body (no Content-Length)
  short[:N]      announce the full length, send N bytes (default half), close
  drop[:N]       send N bytes of the body (default 4096), then drop the connection
  stall[:S]      send the headers, then nothing for S seconds (default 60)
  endless        chunked body that never ends
  huge-length    announce 10 GB, send garbage until the client leaves
  garbage[:N]    N bytes (default the real size or 64 KiB) of binary garbage
  none           no fault (a rule to exempt a path)
)";

std::atomic<bool> g_stopping{false};

// ---- body sources ---------------------------------------------------------

class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t Size() const = 0;
  virtual size_t ReadAt(uint64_t offset, char* out, size_t n) = 0;
};

class StringSource : public Source {
 public:
  explicit StringSource(std::string s) : s_(std::move(s)) {}
  uint64_t Size() const override { return s_.size(); }
  size_t ReadAt(uint64_t offset, char* out, size_t n) override {
    if (offset >= s_.size()) return 0;
    n = std::min<size_t>(n, s_.size() - offset);
    std::memcpy(out, s_.data() + offset, n);
    return n;
  }

 private:
  std::string s_;
};

class FileSource : public Source {
 public:
  FileSource(const fs::path& p, uint64_t size) : in_(p, std::ios::binary), size_(size) {}
  bool ok() const { return static_cast<bool>(in_); }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, char* out, size_t n) override {
    if (offset >= size_) return 0;
    n = std::min<uint64_t>(n, size_ - offset);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(out, static_cast<std::streamsize>(n));
    return static_cast<size_t>(std::max<std::streamsize>(in_.gcount(), 0));
  }

 private:
  std::ifstream in_;
  uint64_t size_;
};

// ---- faults ----------------------------------------------------------------

enum class FaultKind { kNone, kStatus, kNoLength, kEmpty, kShort, kDrop, kStall, kEndless,
                       kHugeLength, kGarbage };

struct Fault {
  std::string prefix;
  FaultKind kind = FaultKind::kNone;
  long long arg = -1;
};

bool ParseFault(const std::string& text, Fault& f) {
  std::string rule = text;
  auto eq = rule.rfind('=');
  f = Fault{};
  if (eq != std::string::npos) {
    f.prefix = rule.substr(0, eq);
    rule = rule.substr(eq + 1);
  }
  auto colon = rule.find(':');
  std::string kind = rule.substr(0, colon);
  if (colon != std::string::npos) {
    try {
      f.arg = std::stoll(rule.substr(colon + 1));
    } catch (...) {
      return false;
    }
  }
  static const std::map<std::string, FaultKind> kinds = {
      {"none", FaultKind::kNone},         {"status", FaultKind::kStatus},
      {"no-length", FaultKind::kNoLength}, {"empty", FaultKind::kEmpty},
      {"short", FaultKind::kShort},       {"drop", FaultKind::kDrop},
      {"stall", FaultKind::kStall},       {"endless", FaultKind::kEndless},
      {"huge-length", FaultKind::kHugeLength}, {"garbage", FaultKind::kGarbage}};
  auto it = kinds.find(kind);
  if (it == kinds.end()) return false;
  f.kind = it->second;
  return f.kind != FaultKind::kStatus || (f.arg >= 100 && f.arg <= 999);
}

std::vector<Fault> ReadFaultFile(const fs::path& file) {
  std::vector<Fault> rules;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    Fault f;
    if (ParseFault(line, f)) rules.push_back(f);
  }
  return rules;
}

// ---- recording -------------------------------------------------------------

std::string SafeName(const std::string& s, size_t max = 80) {
  std::string out;
  for (char c : s) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '.' || c == '-' || c == '_';
    out.push_back(keep ? c : '_');
    if (out.size() >= max) break;
  }
  while (!out.empty() && out.front() == '.') out.erase(out.begin());
  return out.empty() ? "_" : out;
}

class Recorder {
 public:
  explicit Recorder(fs::path dir) : dir_(std::move(dir)) {}
  bool enabled() const { return !dir_.empty(); }
  std::string Next() {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%06d", ++count_);
    return buf;
  }
  void Write(const std::string& name, const std::string& content) {
    if (!enabled()) return;
    fs::path final_path = dir_ / name;
    fs::path temp = dir_ / ("." + name + ".part");
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    std::error_code ec;
    fs::rename(temp, final_path, ec);
  }

 private:
  fs::path dir_;
  std::atomic<int> count_{0};
};

// ---- the service -----------------------------------------------------------

struct Options {
  fs::path root;
  int port = 0;
  int smtp_port = 0;
  fs::path record;
  fs::path port_file;
  fs::path fault_file;
  std::vector<Fault> faults;
};

class Service {
 public:
  explicit Service(Options o) : o_(std::move(o)), recorder_(o_.record) {}

  int Run();

 private:
  void Handle(const httplib::Request& req, httplib::Response& res);
  void Record(const httplib::Request& req);
  Fault FaultFor(const httplib::Request& req);
  void Reply(const httplib::Request& req, httplib::Response& res, std::shared_ptr<Source> body,
             const std::string& type);
  void ReplyText(const httplib::Request& req, httplib::Response& res, const std::string& text) {
    Reply(req, res, std::make_shared<StringSource>(text), "text/plain");
  }
  bool ServeFile(const httplib::Request& req, httplib::Response& res, const fs::path& file);
  fs::path Inside(const std::string& relative) const;
  fs::path DatabaseArchive(const std::string& arch, const std::string& os) const;
  std::string CachedMd5(const fs::path& file);
  void DatabaseInfo(const httplib::Request& req, httplib::Response& res);
  void LastUpdate(const httplib::Request& req, httplib::Response& res);
  void Upload(const httplib::Request& req, httplib::Response& res, const std::string& field);

  Options o_;
  Recorder recorder_;
  httplib::Server server_;
  int port_ = 0;
  std::mutex md5_mu_;
  std::map<std::string, std::pair<std::string, std::string>> md5_cache_;  // path -> (stamp, md5)
};

fs::path Service::Inside(const std::string& relative) const {
  // Only names below the root are served; ".." and absolute paths are not.
  fs::path rel = fs::path(relative).relative_path();
  for (const auto& part : rel)
    if (part == ".." || part == ".") return {};
  return o_.root / rel;
}

Fault Service::FaultFor(const httplib::Request& req) {
  Fault f;
  if (req.has_param("vxfault") && ParseFault(req.get_param_value("vxfault"), f)) return f;
  std::vector<Fault> rules = ReadFaultFile(o_.fault_file);
  rules.insert(rules.end(), o_.faults.begin(), o_.faults.end());
  for (const Fault& rule : rules)
    if (req.path.compare(0, rule.prefix.size(), rule.prefix) == 0) return rule;
  return Fault{};
}

void Service::Reply(const httplib::Request& req, httplib::Response& res,
                    std::shared_ptr<Source> body, const std::string& type) {
  constexpr size_t kChunk = 256 * 1024;
  Fault f = FaultFor(req);
  auto garbage = [](char* out, size_t n, uint64_t seed) {
    std::minstd_rand rng(static_cast<unsigned>(seed + 1));
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(rng());
  };
  uint64_t size = body->Size();
  switch (f.kind) {
    case FaultKind::kStatus: {
      res.status = static_cast<int>(f.arg);
      res.set_content("<html><body>Status " + std::to_string(f.arg) + "</body></html>\n",
                      "text/html");
      return;
    }
    case FaultKind::kEmpty:
      res.set_chunked_content_provider(type, [](size_t, httplib::DataSink& sink) {
        sink.done();
        return true;
      });
      return;
    case FaultKind::kNoLength:
      res.set_chunked_content_provider(type, [body](size_t offset, httplib::DataSink& sink) {
        std::vector<char> buf(kChunk);
        size_t n = body->ReadAt(offset, buf.data(), buf.size());
        if (n == 0) {
          sink.done();
          return true;
        }
        return sink.write(buf.data(), n);
      });
      return;
    case FaultKind::kEndless:
      res.set_chunked_content_provider(type, [garbage](size_t offset, httplib::DataSink& sink) {
        if (g_stopping) return false;
        char buf[16384];
        garbage(buf, sizeof(buf), offset);
        return sink.write(buf, sizeof(buf));
      });
      return;
    case FaultKind::kHugeLength:
      res.set_content_provider(10ull << 30, "application/octet-stream",
                               [garbage](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (g_stopping) return false;
                                 char buf[16384];
                                 garbage(buf, sizeof(buf), offset);
                                 return sink.write(buf, sizeof(buf));
                               });
      return;
    case FaultKind::kGarbage: {
      uint64_t n = f.arg >= 0 ? static_cast<uint64_t>(f.arg) : (size ? size : 65536);
      std::string junk(n, '\0');
      garbage(junk.data(), junk.size(), 7);
      res.set_content(junk, "application/octet-stream");
      return;
    }
    default:
      break;
  }
  if (size == 0 && f.kind != FaultKind::kStall) {
    res.set_content("", type);
    return;
  }
  uint64_t cut = size;
  if (f.kind == FaultKind::kShort) cut = f.arg >= 0 ? std::min<uint64_t>(f.arg, size) : size / 2;
  if (f.kind == FaultKind::kDrop) cut = std::min<uint64_t>(f.arg >= 0 ? f.arg : 4096, size);
  long long stall_s = f.kind == FaultKind::kStall ? (f.arg >= 0 ? f.arg : 60) : 0;
  auto stalled = std::make_shared<bool>(false);
  res.set_content_provider(
      size, type,
      [body, cut, stall_s, stalled](size_t offset, size_t length, httplib::DataSink& sink) {
        if (stall_s > 0 && !*stalled) {
          *stalled = true;
          auto until = std::chrono::steady_clock::now() + std::chrono::seconds(stall_s);
          while (!g_stopping && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          if (g_stopping) return false;
        }
        if (offset >= cut) return false;  // closes the connection mid-body
        std::vector<char> buf(std::min<uint64_t>({kChunk, length, cut - offset}));
        size_t n = body->ReadAt(offset, buf.data(), buf.size());
        if (n == 0) return false;
        return sink.write(buf.data(), n);
      });
}

bool Service::ServeFile(const httplib::Request& req, httplib::Response& res,
                        const fs::path& file) {
  std::error_code ec;
  if (file.empty() || !fs::is_regular_file(file, ec)) return false;
  uint64_t size = fs::file_size(file, ec);
  if (ec) return false;
  auto src = std::make_shared<FileSource>(file, size);
  if (!src->ok()) return false;
  Reply(req, res, src, "application/octet-stream");
  return true;
}

fs::path Service::DatabaseArchive(const std::string& arch, const std::string& os) const {
  for (const std::string& name :
       {"Drivers" + arch + "-" + os + ".7z", "Drivers" + arch + ".7z", std::string("Drivers.7z")}) {
    std::error_code ec;
    fs::path p = o_.root / "database" / name;
    if (fs::is_regular_file(p, ec)) return p;
  }
  return {};
}

std::string Service::CachedMd5(const fs::path& file) {
  std::error_code ec;
  auto stamp = std::to_string(fs::file_size(file, ec)) + "/" +
               std::to_string(fs::last_write_time(file, ec).time_since_epoch().count());
  std::lock_guard lock(md5_mu_);
  auto& slot = md5_cache_[file.string()];
  if (slot.first != stamp || slot.second.empty())
    slot = {stamp, Md5HexOfFile(file).value_or(std::string())};
  return slot.second;
}

std::string Digits(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c >= '0' && c <= '9') out.push_back(c);
  return out.substr(0, 4);
}

void Service::DatabaseInfo(const httplib::Request& req, httplib::Response& res) {
  std::string arch = Digits(req.get_param_value("arch"));
  std::string os = Digits(req.get_param_value("os"));
  if (ServeFile(req, res, o_.root / "rpc" / ("getdatabasecxw-" + arch + "-" + os + ".txt")))
    return;
  fs::path archive = (arch == "32" || arch == "64") ? DatabaseArchive(arch, os) : fs::path();
  if (archive.empty()) {
    ReplyText(req, res, R"({"ok":0,"error":1,"message":"no database for this system"})");
    return;
  }
  std::string host = req.get_header_value("Host");
  if (host.empty()) host = "127.0.0.1:" + std::to_string(port_);
  std::string url = "http:\\/\\/" + host + "\\/database\\/" + archive.filename().string();
  ReplyText(req, res,
            R"({"ok":1,"error":0,"url":")" + url + R"(","file_hash":")" + CachedMd5(archive) +
                R"("})");
}

std::string DateText(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof(buf), "%Y-%m-%d", &tm);
  return buf;
}

void Service::LastUpdate(const httplib::Request& req, httplib::Response& res) {
  if (ServeFile(req, res, o_.root / "rpc" / "getlastupdatecxw.txt")) return;
  std::string date;
  std::ifstream in(o_.root / "database" / "lastupdate.txt");
  std::getline(in, date);
  date.erase(std::remove_if(date.begin(), date.end(), [](char c) { return c <= ' '; }),
             date.end());
  if (date.empty()) {
    fs::path archive = DatabaseArchive("64", "");
    if (archive.empty()) archive = DatabaseArchive("32", "");
    struct stat st {};
    if (!archive.empty() && ::stat(archive.c_str(), &st) == 0) {
      date = DateText(st.st_mtime);
    } else {
      date = DateText(std::time(nullptr));
    }
  }
  ReplyText(req, res, R"({"ok":1,"error":0,"date":")" + date + R"("})");
}

void Service::Upload(const httplib::Request& req, httplib::Response& res,
                     const std::string& field) {
  if (!req.is_multipart_form_data() || !req.has_file(field)) {
    res.status = 400;
    res.set_content("missing file field \"" + field + "\"\n", "text/plain");
    return;
  }
  ReplyText(req, res, "OK");
}

void Service::Record(const httplib::Request& req) {
  if (!recorder_.enabled()) return;
  std::string id = recorder_.Next();
  std::ostringstream text;
  text << req.method << " " << req.target << " " << req.version << "\n";
  for (const auto& [name, value] : req.headers) text << name << ": " << value << "\n";
  text << "\n";
  if (req.is_multipart_form_data()) {
    for (const auto& [name, part] : req.files) {
      std::string file = id + "-" + SafeName(name, 40) + "-" + SafeName(part.filename);
      recorder_.Write(file, part.content);
      text << "Part: name=" << name << " filename=" << part.filename
           << " content_type=" << part.content_type << " size=" << part.content.size()
           << " file=" << file << "\n";
    }
  } else {
    text << req.body;
  }
  recorder_.Write(id + "-" + req.method + "-" + SafeName(req.path) + ".txt", text.str());
}

void Service::Handle(const httplib::Request& req, httplib::Response& res) {
  Record(req);
  const std::string& path = req.path;
  if (path == "/rpc/getdatabasecxw") return DatabaseInfo(req, res);
  if (path == "/rpc/getlastupdatecxw") return LastUpdate(req, res);
  if (path == "/rpc/sendinstall" || path == "/rpc/senduninstall" || path == "/bugreport.php")
    return ReplyText(req, res, "OK");
  if (path == "/rpc/senddriverstats") return Upload(req, res, "file");
  if (path == "/rpc/sendsnapshot") return Upload(req, res, "snapshot_file");
  if (req.method == "GET" || req.method == "HEAD") {
    // Package names are plain file names; nothing below downloads/ is a folder.
    if (path.rfind("/downloads/", 0) == 0 &&
        path.find('/', std::string("/downloads/").size()) != std::string::npos) {
      res.status = 404;
      return;
    }
    if (ServeFile(req, res, Inside(path))) return;
  }
  res.status = 404;
  res.set_content("<html><body>Not found</body></html>\n", "text/html");
}

int Service::Run() {
  server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server_.set_keep_alive_timeout(5);
  server_.set_read_timeout(30);
  server_.set_write_timeout(30);
  server_.set_payload_max_length(256u << 20);
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
  server_.Get(".*", handler);
  server_.Post(".*", handler);
  server_.Put(".*", handler);

  port_ = o_.port == 0 ? server_.bind_to_any_port("127.0.0.1")
                       : (server_.bind_to_port("127.0.0.1", o_.port) ? o_.port : -1);
  if (port_ <= 0) {
    std::cerr << "vantrix-service: cannot listen on 127.0.0.1:" << o_.port << "\n";
    return 1;
  }
  SmtpSink smtp([this](const MailMessage& m) {
    std::string head = "X-Envelope-From: " + m.from + "\r\n";
    for (const std::string& to : m.to) head += "X-Envelope-To: " + to + "\r\n";
    if (!m.auth_user.empty()) head += "X-Auth-User: " + m.auth_user + "\r\n";
    recorder_.Write(recorder_.Next() + "-mail.eml", head + m.data);
  });
  int smtp_port = -1;
  if (o_.smtp_port >= 0) {
    std::string error;
    smtp_port = smtp.Start(static_cast<uint16_t>(o_.smtp_port), error);
    if (smtp_port < 0) {
      std::cerr << "vantrix-service: " << error << "\n";
      return 1;
    }
  }

  // SIGINT/SIGTERM end the service through a waiting thread, since a signal
  // handler may not stop the server itself. The thread is joined before the
  // mail sink goes away: it must never touch a stopped or destroyed server.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  std::atomic<bool> signalled{false};
  std::thread waiter([this, set, &signalled] {
    int sig = 0;
    sigwait(&set, &sig);
    signalled = true;
    g_stopping = true;
    server_.stop();
  });

  if (!o_.port_file.empty()) {
    std::string text = "http=" + std::to_string(port_) + "\n";
    if (smtp_port > 0) text += "smtp=" + std::to_string(smtp_port) + "\n";
    fs::path temp = o_.port_file;
    temp += ".part";
    { std::ofstream(temp) << text; }
    std::error_code ec;
    fs::rename(temp, o_.port_file, ec);
  }
  std::cout << "listening on 127.0.0.1:" << port_ << std::endl;
  if (smtp_port > 0) std::cout << "smtp on 127.0.0.1:" << smtp_port << std::endl;
  server_.listen_after_bind();
  g_stopping = true;
  // The server may also end without a signal: wake the waiter then.
  if (!signalled) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  smtp.Stop();
  return 0;
}

int Usage(const std::string& error) {
  std::cerr << "vantrix-service: " << error << "\n(see vantrix-service --help)\n";
  return 2;
}

}  // namespace

int Main(int argc, char** argv) {
  Options o;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      std::cout << kHelp;
      return 0;
    } else if (a == "--root" && value(v)) {
      o.root = v;
    } else if (a == "--port" && value(v)) {
      o.port = std::atoi(v.c_str());
    } else if (a == "--smtp-port" && value(v)) {
      o.smtp_port = std::atoi(v.c_str());
    } else if (a == "--record" && value(v)) {
      o.record = v;
    } else if (a == "--port-file" && value(v)) {
      o.port_file = v;
    } else if (a == "--fault-file" && value(v)) {
      o.fault_file = v;
    } else if (a == "--fault" && value(v)) {
      Fault f;
      if (!ParseFault(v, f)) return Usage("bad fault rule: " + v);
      o.faults.push_back(f);
    } else {
      return Usage("unknown or incomplete option: " + a);
    }
  }
  std::error_code ec;
  if (o.root.empty() || !fs::is_directory(o.root, ec)) return Usage("--root DIR must name a folder");
  if (o.port < 0 || o.port > 65535 || o.smtp_port < -1 || o.smtp_port > 65535)
    return Usage("ports are 0 to 65535");
  if (!o.record.empty()) {
    fs::create_directories(o.record, ec);
    if (!fs::is_directory(o.record, ec)) return Usage("cannot create --record folder");
  }
  if (o.fault_file.empty()) o.fault_file = o.root / "faults.txt";

  // Blocked in every thread, so only the waiting thread receives them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return Service(o).Run();
}

}  // namespace vx::service

int main(int argc, char** argv) { return vx::service::Main(argc, argv); }
