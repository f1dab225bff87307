#include "dbgen/device_machine_gen.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/reg_file.h"

namespace vx::dbgen {

namespace {

namespace fs = std::filesystem;
using sim::RegFileKey;
using sim::RegFileValue;

constexpr const char* kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kClass = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\";

constexpr const char kFacts[] =
    "; Generated: a 64-bit Windows 10 desktop with many devices.\r\n"
    "[Windows]\r\nMajor=10\r\nMinor=0\r\nBuild=19045\r\nIs64Bit=1\r\n\r\n"
    "[Hardware]\r\nTotalMemoryMB=16384\r\nManufacturer=Generated\r\nModel=DEV-1000\r\n\r\n"
    "[User]\r\nComputerName=DESKTOP-GEN\r\nUserName=Bench\r\nIsAdmin=1\r\n\r\n"
    "[Locale]\r\nLanguageName=English (United States)\r\nShortDate=M/d/yyyy\r\n"
    "LongTime=h:mm:ss tt\r\nDecimalSeparator=.\r\nAnsiCodePage=1252\r\nUtcOffsetMinutes=0\r\n\r\n"
    "[DosDevices]\r\nC:=\\Device\\HarddiskVolume3\r\n";

struct SetupClass {
  const char* guid;
  const char* name;
  const char* description;
};

constexpr SetupClass kClasses[] = {
    {"{4d36e968-e325-11ce-bfc1-08002be10318}", "Display", "Display adapters"},
    {"{4d36e96c-e325-11ce-bfc1-08002be10318}", "MEDIA", "Sound, video and game controllers"},
    {"{4d36e972-e325-11ce-bfc1-08002be10318}", "Net", "Network adapters"},
    {"{36fc9e60-c465-11cf-8056-444553540000}", "USB", "Universal Serial Bus controllers"},
    {"{4d36e96a-e325-11ce-bfc1-08002be10318}", "hdc", "IDE ATA/ATAPI controllers"},
    {"{4d36e97d-e325-11ce-bfc1-08002be10318}", "System", "System devices"},
    {"{745a17a0-74d3-11d0-b6fe-00a0c90f57da}", "HIDClass", "Human Interface Devices"},
    {"{4d36e96b-e325-11ce-bfc1-08002be10318}", "Keyboard", "Keyboards"},
    {"{4d36e96f-e325-11ce-bfc1-08002be10318}", "Mouse", "Mice and other pointing devices"},
    {"{e0cbf06c-cd8b-4647-bb8a-263b43f0f974}", "Bluetooth", "Bluetooth"},
    {"{6bdd1fc6-810f-11d0-bec7-08002be2092f}", "Image", "Imaging devices"},
    {"{c166523c-fe0c-4a94-a586-f1a80cfbbf3e}", "AudioEndpoint", "Audio inputs and outputs"},
    {"{4d36e967-e325-11ce-bfc1-08002be10318}", "DiskDrive", "Disk drives"},
    {"{8ecc055d-047f-11d1-a537-0000f8753ed1}", "LegacyDriver", "Non-Plug and Play Drivers"},
};
enum ClassIndex { kDisplay, kMedia, kNet, kUsb, kHdc, kSystem, kHid, kKeyboard, kMouse,
                  kBluetooth, kImage, kEndpoint, kDisk, kLegacy };

struct Vendor {
  uint16_t id;
  const char* mfg;
  const char* provider;
};
constexpr Vendor kPciVendors[] = {{0x8086, "Intel Corporation", "Intel"},
                                  {0x1022, "Advanced Micro Devices, Inc.", "AMD"},
                                  {0x10DE, "NVIDIA", "NVIDIA"},
                                  {0x10EC, "Realtek", "Realtek"},
                                  {0x14E4, "Broadcom", "Broadcom"},
                                  {0x1B21, "ASMedia Technology Inc.", "ASMedia"}};
constexpr Vendor kUsbVendors[] = {{0x046D, "Logitech", "Logitech"},
                                  {0x045E, "Microsoft", "Microsoft"},
                                  {0x0BDA, "Realtek", "Realtek"},
                                  {0x8087, "Intel Corporation", "Intel"},
                                  {0x0781, "SanDisk", "Microsoft"},
                                  {0x1532, "Razer Inc", "Razer Inc"}};

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

std::string Hex(uint64_t v, int digits) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

RegFileValue Sz(const char* name, const std::string& v) {
  return {name, platform::kRegSz, platform::EncodeRegString(v)};
}
RegFileValue Multi(const char* name, const std::vector<std::string>& v) {
  return {name, platform::kRegMultiSz, platform::EncodeRegMultiString(v)};
}
RegFileValue Dword(const char* name, uint32_t v) {
  return {name, platform::kRegDword, platform::EncodeRegDword(v)};
}
RegFileValue FileTime(const char* name, uint64_t ft) {
  std::string raw(8, '\0');
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<char>(ft >> (8 * i));
  return {name, platform::kRegBinary, raw};
}

// FILETIME of midnight UTC, days after 1601-01-01.
uint64_t FileTimeOfDay(int64_t days_since_1601) {
  return static_cast<uint64_t>(days_since_1601) * 864000000000ull;
}

// What one generated device needs to become Enum and Class keys.
struct Device {
  std::string instance;  // enumerator\device\instance
  int cls = kSystem;
  std::string desc, friendly, mfg, provider, service;
  std::vector<std::string> hardware, compatible;
  bool present = true, driver = true;
  uint32_t problem = 0, status = 0x0180200A, config_flags = 0;
  std::string parent_prefix;  // children under the service enumerator
};

class Builder {
 public:
  explicit Builder(uint64_t seed) : rng_(seed) {}

  void Pci(int n) {
    static constexpr std::pair<int, const char*> kKinds[] = {
        {kDisplay, "0300"}, {kMedia, "0403"}, {kNet, "0200"},
        {kUsb, "0C03"},     {kHdc, "0106"},   {kSystem, "0600"}};
    const auto& v = kPciVendors[rng_.Below(6)];
    const auto& [cls, cc] = kKinds[rng_.Below(6)];
    const std::string dev = Hex(0x1000 + rng_.Below(0xE000), 4);
    const std::string base = "PCI\\VEN_" + Hex(v.id, 4) + "&DEV_" + dev;
    const std::string sub = "&SUBSYS_" + Hex(rng_.Next() & 0xFFFFFFFF, 8);
    const std::string rev = "&REV_" + Hex(rng_.Below(0x20), 2);
    Device d;
    d.instance = base + sub + rev + "\\" + std::to_string(3 + rng_.Below(3)) + "&" +
                 Hex(rng_.Next() & 0xFFFFFFF, 7) + "&0&" + Hex(n & 0xFF, 2) + "E4";
    d.cls = cls;
    d.desc = std::string(v.provider) + " " + kClasses[cls].name + " Controller " + dev;
    d.mfg = v.mfg;
    d.provider = v.provider;
    d.service = "pci" + std::string(kClasses[cls].name);
    d.hardware = {base + sub + rev, base + sub, base + "&CC_" + cc + "00", base + "&CC_" + cc};
    d.compatible = {base + rev, base, "PCI\\VEN_" + Hex(v.id, 4) + "&CC_" + cc + "00",
                    "PCI\\VEN_" + Hex(v.id, 4) + "&CC_" + cc, "PCI\\VEN_" + Hex(v.id, 4),
                    std::string("PCI\\CC_") + cc + "00", std::string("PCI\\CC_") + cc};
    Add(std::move(d));
  }

  void Usb(int n) {
    static constexpr int kKinds[] = {kUsb, kHid, kBluetooth, kImage, kUsb};
    const auto& v = kUsbVendors[rng_.Below(6)];
    const int cls = kKinds[rng_.Below(5)];
    const std::string base = "USB\\VID_" + Hex(v.id, 4) + "&PID_" + Hex(rng_.Below(0xFFFF), 4);
    Device d;
    d.instance = base + "\\" + Hex(rng_.Next(), 12);
    d.cls = cls;
    d.desc = std::string(v.provider) + " USB " + kClasses[cls].name + " Device";
    d.mfg = v.mfg;
    d.provider = v.provider;
    d.service = cls == kUsb ? "USBSTOR" : "usb" + std::string(kClasses[cls].name);
    d.hardware = {base + "&REV_" + Hex(rng_.Below(0x300), 4), base};
    d.compatible = {"USB\\Class_08&SubClass_06&Prot_50", "USB\\Class_08&SubClass_06",
                    "USB\\Class_08"};
    // A mass-storage device enumerates its disk under USBSTOR.
    if (cls == kUsb && n % 3 == 0) d.parent_prefix = "7&" + Hex(rng_.Next() & 0xFFFFFFF, 7) + "&0";
    Add(std::move(d));
  }

  void Hid(int) {
    static constexpr int kKinds[] = {kHid, kKeyboard, kMouse};
    const auto& v = kUsbVendors[rng_.Below(6)];
    const int cls = kKinds[rng_.Below(3)];
    const std::string base = "HID\\VID_" + Hex(v.id, 4) + "&PID_" + Hex(rng_.Below(0xFFFF), 4) +
                             "&MI_0" + std::to_string(rng_.Below(3));
    Device d;
    d.instance = base + "\\" + std::to_string(8 + rng_.Below(2)) + "&" +
                 Hex(rng_.Next() & 0xFFFFFFF, 7) + "&0&0000";
    d.cls = cls;
    d.desc = cls == kKeyboard ? "HID Keyboard Device"
             : cls == kMouse  ? "HID-compliant mouse"
                              : "HID-compliant vendor-defined device";
    d.mfg = cls == kHid ? "(Standard system devices)" : "(Standard keyboards)";
    d.provider = "Microsoft";
    d.service = cls == kKeyboard ? "kbdhid" : cls == kMouse ? "mouhid" : "HidUsb";
    d.hardware = {base, "HID\\VID_" + Hex(v.id, 4) + "&UP:0001_U:0006"};
    d.compatible = {"HID_DEVICE_SYSTEM_KEYBOARD", "HID_DEVICE_UP:0001_U:0006", "HID_DEVICE"};
    Add(std::move(d));
  }

  void Acpi(int n) {
    Device d;
    const std::string id = "PNP0" + Hex(0xC00 + rng_.Below(0x100), 3);
    d.instance = "ACPI\\" + id + "\\" + std::to_string(n);
    d.cls = kSystem;
    d.desc = "ACPI device " + id;
    d.mfg = "(Standard system devices)";
    d.provider = "Microsoft";
    d.service = "ACPI";
    d.hardware = {"ACPI\\" + id, "*" + id};
    Add(std::move(d));
  }

  void HdAudio(int n) {
    Device d;
    const std::string base = "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0" + Hex(0x800 + rng_.Below(0x100), 3);
    const std::string sub = "&SUBSYS_" + Hex(rng_.Next() & 0xFFFFFFFF, 8);
    d.instance = base + sub + "&REV_1003\\4&" + Hex(rng_.Next() & 0xFFFFFFF, 7) + "&0&" +
                 Hex(n & 0xFFFF, 4);
    d.cls = kMedia;
    d.desc = "Realtek High Definition Audio";
    d.mfg = "Realtek";
    d.provider = "Realtek Semiconductor Corp.";
    d.service = "IntcAzAudAddService";
    d.hardware = {base + sub + "&REV_1003", base + sub};
    d.compatible = {"HDAUDIO\\FUNC_01&VEN_10EC", "HDAUDIO\\FUNC_01"};
    Add(std::move(d));
  }

  void Software(int n) {
    Device d;
    d.instance = "SWD\\MMDEVAPI\\{0.0.0.00000000}.{" + Hex(rng_.Next() & 0xFFFFFFFF, 8) +
                 "-0000-4000-8000-" + Hex(rng_.Next(), 12) + "}";
    d.cls = kEndpoint;
    d.desc = "Speakers";
    d.friendly = "Speakers (Endpoint " + std::to_string(n) + ")";
    d.mfg = "Microsoft";
    d.provider = "Microsoft";
    d.hardware = {"MMDEVAPI\\AudioEndpoints"};
    Add(std::move(d));
  }

  // The odd ones a real PC has too.
  void Specials() {
    Device legacy;
    legacy.instance = "ROOT\\LEGACY_BEEP\\0000";
    legacy.cls = kLegacy;
    legacy.desc = "Beep";
    legacy.driver = false;
    Add(std::move(legacy));
    Device bare;
    bare.instance = "ROOT\\UNKNOWN\\0000";
    bare.cls = kSystem;
    bare.desc = "Device without identifiers";
    bare.driver = false;
    Add(std::move(bare));
  }

  int size() const { return static_cast<int>(devices_.size()); }
  void Truncate(int n) {
    if (size() > n) devices_.resize(static_cast<size_t>(n));
  }

  // Turns the last added device into one of the states that matter.
  void Vary(int n) {
    Device& d = devices_.back();
    const int roll = rng_.Below(100);
    if (roll < 5) {
      d.present = false;
    } else if (roll < 7) {
      d.driver = false;
      d.problem = 28;
      d.config_flags = 0x40;
    } else if (roll < 8) {
      d.problem = 22;
      d.config_flags = 0x1;
    } else if (roll < 9) {
      d.status |= 0x100;
    } else if (roll < 10 && d.instance.rfind("USB\\", 0) == 0) {
      // A second instance of the same device and name: listed once.
      Device twin = d;
      twin.instance = d.instance.substr(0, d.instance.rfind('\\') + 1) + Hex(rng_.Next(), 12) +
                      std::to_string(n);
      twin.parent_prefix.clear();
      Add(std::move(twin));
    }
  }

  void Add(Device d) {
    if (!d.parent_prefix.empty()) {
      Device disk;
      disk.instance = "USBSTOR\\Disk&Ven_SanDisk&Prod_Cruzer&Rev_1.00\\" + d.parent_prefix;
      disk.cls = kDisk;
      disk.desc = "Disk drive";
      disk.friendly = "SanDisk Cruzer USB Device";
      disk.mfg = "(Standard disk drives)";
      disk.provider = "Microsoft";
      disk.service = "disk";
      disk.hardware = {"USBSTOR\\DiskSanDisk_Cruzer_________1.00", "USBSTOR\\DiskSanDisk_Cruzer"};
      disk.compatible = {"USBSTOR\\Disk", "USBSTOR\\RAW", "GenDisk"};
      devices_.push_back(std::move(d));
      devices_.push_back(std::move(disk));
      return;
    }
    devices_.push_back(std::move(d));
  }

  std::vector<RegFileKey> Keys() {
    std::vector<RegFileKey> keys;
    for (const auto& c : kClasses)
      keys.push_back({kClass + std::string(c.guid), false,
                      {Sz("", c.description), Sz("Class", c.name)}});
    std::map<int, int> next_driver;
    for (const auto& d : devices_) {
      const SetupClass& c = kClasses[d.cls];
      RegFileKey dev{kEnum + d.instance, false, {}};
      dev.values.push_back(Sz("DeviceDesc", d.desc));
      if (!d.hardware.empty()) dev.values.push_back(Multi("HardwareID", d.hardware));
      if (!d.compatible.empty()) dev.values.push_back(Multi("CompatibleIDs", d.compatible));
      if (!d.service.empty()) dev.values.push_back(Sz("Service", d.service));
      dev.values.push_back(Sz("ClassGUID", c.guid));
      dev.values.push_back(Sz("Class", c.name));
      std::string driver_key;
      if (d.driver) {
        char number[8];
        std::snprintf(number, sizeof number, "%04d", next_driver[d.cls]++ % 10000);
        driver_key = std::string(c.guid) + "\\" + number;
        dev.values.push_back(Sz("Driver", driver_key));
      }
      dev.values.push_back(Dword("ConfigFlags", d.config_flags));
      if (!d.mfg.empty()) dev.values.push_back(Sz("Mfg", d.mfg));
      if (!d.friendly.empty()) dev.values.push_back(Sz("FriendlyName", d.friendly));
      dev.values.push_back(Dword("Capabilities", 0x84));
      if (!d.parent_prefix.empty()) dev.values.push_back(Sz("ParentIdPrefix", d.parent_prefix));
      const int64_t installed = 152000 + rng_.Below(2000);
      dev.values.push_back(FileTime("FirstInstallDate", FileTimeOfDay(installed)));
      dev.values.push_back(FileTime("InstallDate", FileTimeOfDay(installed + rng_.Below(300))));
      keys.push_back(std::move(dev));
      if (d.present) {
        keys.push_back({kEnum + d.instance + "\\Control", false,
                        {Dword("DevNodeStatus", d.status), Dword("ProblemCode", d.problem),
                         Sz("PhysicalDeviceObjectName",
                            "\\Device\\" + Hex(keys.size(), 8))}});
      }
      if (!driver_key.empty()) {
        const int64_t day = 149000 + rng_.Below(5000);
        const int year = 1601 + static_cast<int>(day / 365.2425);
        const std::string version = std::to_string(1 + rng_.Below(30)) + "." +
                                    std::to_string(rng_.Below(10)) + "." +
                                    std::to_string(rng_.Below(20000)) + "." +
                                    std::to_string(rng_.Below(5000));
        keys.push_back(
            {kClass + driver_key,
             false,
             {Sz("DriverDesc", d.desc), Sz("ProviderName", d.provider),
              Sz("DriverDate", std::to_string(1 + rng_.Below(12)) + "-" +
                                   std::to_string(1 + rng_.Below(28)) + "-" + std::to_string(year)),
              FileTime("DriverDateData", FileTimeOfDay(day)), Sz("DriverVersion", version),
              Sz("InfPath", "oem" + std::to_string(rng_.Below(60)) + ".inf"),
              Sz("InfSection", std::string(c.name) + "_Install.NT"),
              Sz("MatchingDeviceId", d.hardware.empty() ? std::string() : d.hardware.back())}});
      }
    }
    return keys;
  }

 private:
  Rng rng_;
  std::vector<Device> devices_;
};

}  // namespace

bool WriteDeviceMachineSample(const fs::path& dir, const DeviceMachineOptions& options,
                              std::string* error) {
  Builder b(options.seed);
  b.Specials();
  for (int n = 0; b.size() < options.devices; ++n) {
    const int roll = n % 20;
    if (roll < 7)
      b.Pci(n);
    else if (roll < 12)
      b.Usb(n);
    else if (roll < 15)
      b.Hid(n);
    else if (roll < 17)
      b.Acpi(n);
    else if (roll < 18)
      b.HdAudio(n);
    else
      b.Software(n);
    b.Vary(n);
  }
  b.Truncate(options.devices);
  std::error_code ec;
  fs::create_directories(dir, ec);
  auto write = [&](const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (out.flush()) return true;
    if (error) *error = "cannot write " + file.string();
    return false;
  };
  return write(dir / "machine.ini", kFacts) && write(dir / "registry.reg", sim::WriteRegFile(b.Keys()));
}

}  // namespace vx::dbgen
