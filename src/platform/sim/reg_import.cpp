#include "platform/sim/reg_import.h"

#include "common/text.h"

namespace vx::sim {

using platform::RegRoot;

bool SplitRegPath(std::string_view full, RegRoot& root, std::string& path) {
  std::string_view head = full.substr(0, full.find('\\'));
  std::string_view rest = head.size() < full.size() ? full.substr(head.size() + 1) : "";
  if (SameText(head, "HKEY_LOCAL_MACHINE") || SameText(head, "HKLM")) {
    root = RegRoot::kLocalMachine;
    path = rest;
  } else if (SameText(head, "HKEY_CURRENT_USER") || SameText(head, "HKCU")) {
    root = RegRoot::kCurrentUser;
    path = rest;
  } else if (SameText(head, "HKEY_CLASSES_ROOT") || SameText(head, "HKCR")) {
    root = RegRoot::kLocalMachine;
    path = rest.empty() ? "SOFTWARE\\Classes" : "SOFTWARE\\Classes\\" + std::string(rest);
  } else {
    return false;
  }
  return true;
}

Status ImportRegKeys(platform::Registry& reg, const std::vector<RegFileKey>& keys) {
  for (const auto& k : keys) {
    RegRoot root;
    std::string path;
    if (!SplitRegPath(k.path, root, path)) return kErrorInvalidParameter;
    if (k.remove) {
      Status s = reg.DeleteTree(root, path);
      if (s != kErrorSuccess && s != kErrorFileNotFound) return s;
      continue;
    }
    auto key = reg.CreateKey(root, path);
    if (!key) return key.error();
    for (const auto& v : k.values) {
      Status s = v.remove ? (*key)->DeleteValue(v.name)
                          : (*key)->SetValue(v.name, platform::RegValue{v.type, v.data});
      if (s != kErrorSuccess && !(v.remove && s == kErrorFileNotFound)) return s;
    }
  }
  return kErrorSuccess;
}

namespace {

Status ExportInto(platform::Registry& reg, RegRoot root, const std::string& path,
                  const std::string& full, std::vector<RegFileKey>& out) {
  auto key = reg.OpenKey(root, path, false);
  if (!key) return key.error();
  RegFileKey fk;
  fk.path = full;
  auto names = (*key)->ValueNames();
  if (!names) return names.error();
  for (const auto& n : *names) {
    auto v = (*key)->QueryValue(n);
    if (!v) continue;  // removed meanwhile by another process
    fk.values.push_back(RegFileValue{n, v->type, v->data, false});
  }
  out.push_back(std::move(fk));
  auto kids = (*key)->SubKeyNames();
  if (!kids) return kids.error();
  for (const auto& kid : *kids) {
    std::string sub = path.empty() ? kid : path + "\\" + kid;
    if (Status s = ExportInto(reg, root, sub, full + "\\" + kid, out);
        s != kErrorSuccess && s != kErrorFileNotFound)
      return s;
  }
  return kErrorSuccess;
}

}  // namespace

Result<std::vector<RegFileKey>> ExportRegKeys(platform::Registry& reg, std::string_view full_path) {
  RegRoot root;
  std::string path;
  if (!SplitRegPath(full_path, root, path))
    return Result<std::vector<RegFileKey>>::Fail(kErrorInvalidParameter);
  std::vector<RegFileKey> out;
  std::string full(full_path);
  while (!full.empty() && full.back() == '\\') full.pop_back();
  if (Status s = ExportInto(reg, root, path, full, out); s != kErrorSuccess)
    return Result<std::vector<RegFileKey>>::Fail(s);
  return out;
}

}  // namespace vx::sim
