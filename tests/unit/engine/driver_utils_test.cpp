#include "engine/driver_utils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "engine/vendor_rules.h"

namespace vx {
namespace {

struct TextCase {
  std::string input;
  std::string expected;
};

template <class F>
void ExpectAll(const std::vector<TextCase>& cases, F f) {
  for (const auto& c : cases) {
    SCOPED_TRACE("input: \"" + c.input + "\"");
    EXPECT_EQ(f(c.input), c.expected);
  }
}

// --- Hardware identifiers -----------------------------------------------------

TEST(QuoteHardwareId, UpperCasesDoublesQuotesAndCollapsesAmpersands) {
  ExpectAll(
      {
          {"", ""},
          {"pci\\ven_8086&dev_1e31", "PCI\\VEN_8086&DEV_1E31"},
          {"A\"B", "A\"\"B"},
          {"\"\"", "\"\"\"\""},
          {"A&&B", "A&B"},
          // One left-to-right pass: leftovers are not collapsed again.
          {"A&&&B", "A&&B"},
          {"A&&&&B", "A&&B"},
          {"usb\\vid_046d&&pid_c52b", "USB\\VID_046D&PID_C52B"},
          {"A&B", "A&B"},
          {"\xC3\xA4" "b", "\xC3\x84" "B"},  // äb -> ÄB: locale-style, not ASCII-only
      },
      QuoteHardwareId);
}

TEST(ShortHardwareId, KeepsBusVendorAndDeviceCodes) {
  ExpectAll(
      {
          {"PCI\\VEN_8086&DEV_1E31&SUBSYS_1234&REV_04", "PCI\\VEN_8086&DEV_1E31"},
          {"USB\\VID_046D&PID_C52B&REV_1201", "USB\\VID_046D&PID_C52B"},
          {"USB\\VID_046D&PID_C52B&MI_00", "USB\\VID_046D&PID_C52B"},
          {"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0269&SUBSYS_17AA2155&REV_1002",
           "HDAUDIO\\VEN_10EC&DEV_0269"},
          {"pci\\ven_8086&dev_1e31&subsys_1234", "PCI\\VEN_8086&DEV_1E31"},
          // No VEN/DEV and no VID/PID: unchanged apart from case.
          {"ROOT\\LEGACY_BEEP", "ROOT\\LEGACY_BEEP"},
          {"root\\legacy_beep", "ROOT\\LEGACY_BEEP"},
          {"PCI\\CC_0300", "PCI\\CC_0300"},
          {"PCI\\VEN_8086", "PCI\\VEN_8086"},
          {"USB\\VID_046D", "USB\\VID_046D"},
          // No backslash: no prefix.
          {"VEN_8086&DEV_1E31", "VEN_8086&DEV_1E31"},
          // VEN/DEV is preferred over VID/PID.
          {"X\\VID_1111&PID_2222&VEN_3333&DEV_4444", "X\\VEN_3333&DEV_4444"},
          // Eight characters from each key, whatever they are.
          {"PCI\\VEN_80&DEV_1", "PCI\\VEN_80&D&DEV_1"},
          // The result is quoted.
          {"ROOT\\A\"B", "ROOT\\A\"\"B"},
          {"A&&B", "A&B"},
          {"", ""},
      },
      ShortHardwareId);
}

TEST(SplitHardwareIds, SplitsAtCommasAndUpperCases) {
  struct Case {
    std::string input;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {"A"}},
      {"pci\\a,pci\\b", {"PCI\\A", "PCI\\B"}},
      {"a,,b", {"A", "", "B"}},
      {"a,", {"A"}},
      {",a", {"", "A"}},
      {",", {""}},
      {" a , b", {" A ", " B"}},  // no trimming
      {"\xC3\xA9,\xC3\xBC", {"\xC3\x89", "\xC3\x9C"}},
      // The first item is never cut.
      {std::string(1500, 'x'), {std::string(1500, 'X')}},
      // After a comma the rest is cut to 1000 characters.
      {"a," + std::string(1200, 'b'), {"A", std::string(1000, 'B')}},
      {"a," + std::string(999, 'b') + ",c", {"A", std::string(999, 'B')}},
      {"a," + std::string(998, 'b') + ",c", {"A", std::string(998, 'B'), "C"}},
      // A character outside the BMP counts as two and is never split.
      {"a," + std::string(999, 'b') + "\xF0\x9F\x98\x80", {"A", std::string(999, 'B')}},
      {"a," + std::string(998, 'b') + "\xF0\x9F\x98\x80",
       {"A", std::string(998, 'B') + "\xF0\x9F\x98\x80"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("input: \"" + c.input.substr(0, 40) + "\" (" + std::to_string(c.input.size()) +
                 " bytes)");
    EXPECT_EQ(SplitHardwareIds(c.input), c.expected);
  }
}

// --- Stored names ---------------------------------------------------------------

TEST(StoredNameTransform, IdentifierMode) {
  ExpectAll(
      {
          {"PCI\\VEN_8086&DEV_1E31", "PCI\\VEN_8086&DEV_A45A"},
          {"PCI\\VEN_8086&DEV_A45A", "PCI\\VEN_8086&DEV_1E31"},
          // Every pair, both ways, in one text.
          {"DEV_0123456789ABCDEF", "DEV_7AF5E3806C1D9B42"},
          {"DEV_7AF5E3806C1D9B42", "DEV_0123456789ABCDEF"},
          {"PCI\\VEN_10DE&DEV_0DE1&SUBSYS_1234", "PCI\\VEN_10DE&DEV_7B4A&SUDSYS_AF5E"},
          // Only the first DEV_ ends the kept prefix; the rest is upper-cased.
          {"X\\dev_1&DEV_1e31&dev_2", "X\\dev_1&DEV_A45A&B4V_F"},
          // '$' becomes '7'.
          {"DEV_$", "DEV_7"},
          // No DEV_ (the match is case-sensitive): unchanged.
          {"ROOT\\LEGACY_BEEP", "ROOT\\LEGACY_BEEP"},
          {"pci\\ven_8086&dev_1e31", "pci\\ven_8086&dev_1e31"},
          {"", ""},
          {"DEV_", "DEV_"},
      },
      [](const std::string& s) { return StoredNameTransform(s, true); });
}

TEST(StoredNameTransform, FileNameMode) {
  ExpectAll(
      {
          {"x_setup.exe", "x_s4tup.exe"},
          {"x_s4tup.exe", "x_setup.exe"},
          // The part up to the first "_" keeps its case; the rest is lower-cased.
          {"Drv_Setup.EXE", "Drv_s4tup.exe"},
          {"12345_driver.zip", "12345_briv4r.zip"},
          {"a_b_c", "a_d_9"},
          // Without "_" the whole name is scrambled.
          {"setup.exe", "s4tup.exe"},
          {"", ""},
          {"x_", "x_"},
          // Non-ASCII letters are lower-cased but never swapped.
          {"a_\xC3\x84rger.exe", "a_\xC3\xA4rg4r.exe"},
      },
      [](const std::string& s) { return StoredNameTransform(s, false); });
}

TEST(StoredNameTransform, IsItsOwnInverseUpToCase) {
  struct Case {
    std::string text;
    bool identifier_mode;
    std::string after_round_trip;
  };
  const std::vector<Case> cases = {
      {"PCI\\VEN_8086&DEV_1E31&SUBSYS_2155&REV_04", true,
       "PCI\\VEN_8086&DEV_1E31&SUBSYS_2155&REV_04"},
      {"USB\\VID_046D&PID_C52B", true, "USB\\VID_046D&PID_C52B"},  // no DEV_
      {"PCI\\VEN_8086&DEV_1e31", true, "PCI\\VEN_8086&DEV_1E31"},
      {"PCI\\VEN_8086&DEV_$1", true, "PCI\\VEN_8086&DEV_01"},  // '$' is lost
      {"123_Realtek_Audio-6.0.1.7541.exe", false, "123_realtek_audio-6.0.1.7541.exe"},
      {"123_pack.zip", false, "123_pack.zip"},
      {"no_underscore_x$.7z", false, "no_underscore_x0.7z"},
      // ".4x4" is the scrambled ".exe" and does not survive as itself.
      {"a_b.4x4", false, "a_b.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string stored = StoredNameTransform(c.text, c.identifier_mode);
    EXPECT_EQ(StoredNameTransform(stored, c.identifier_mode), c.after_round_trip);
  }
}

// --- Canonical vendor -------------------------------------------------------------

// The canonical vendors the rule set may produce, as listed for the word
// rules, plus INFOPRINT which only a free-text rule yields.
const std::set<std::string>& KnownVendors() {
  static const std::set<std::string> kVendors = {
      "ACER",         "ACTION",      "ADAPTEC",   "AIRLINK",   "AIRLIVE",       "ALCOR",
      "ALI",          "ALLIED",      "AMD",       "ANALOGDEVICES", "ANGEL",     "ARGOSY",
      "ASMEDIA",      "ASPEED",      "ASUS",      "ATHEROS",   "ATI",           "ATK",
      "AUDIOTRACK",   "AUTHENTEC",   "BIGFOOT",   "BIOSTAR",   "BISON",         "BIXOLON",
      "BROADCOM",     "BROCADE",     "BROTHER",   "CAMBRIDGE", "CANON",         "CERTANCE",
      "CFOS",         "CHICONY",     "CMEDIA",    "COMPAQ",    "CONEXANT",      "COREGA",
      "CREATIVE",     "CYGNETRON",   "DELL",      "DIAMOND",   "DLINK",         "ECHO",
      "EGALAX",       "EGO",         "EMACHINES", "EMUSED",    "ENE",           "EPSON",
      "ERICSSON",     "ESI",         "ETRON",     "FEIXUN",    "FRACTAL",       "FRESCO",
      "FUJITSU",      "FXI",         "GATEWAY",   "GENESYS",   "GENIOUS",       "GIGABYTE",
      "GLOBESPAN",    "GOOGLE",      "HAUPPAUGE", "HERCULES",  "HITACHI",       "HP",
      "HUAWEI",       "IBM",         "INFINEON",  "INTEL",     "ITE",           "JEILIN",
      "JMICRON",      "JVS",         "KYOCERA",   "LEADTEK",   "LENOVO",        "LEXMARK",
      "LG",           "LITEON",      "LOGITECH",  "LSI",       "LUMANATE",      "MADCATZ",
      "MARVELL",      "MATROX",      "MELLANOX",  "MICROSOFT", "MICROSTAR",     "MITSUMI",
      "MMT",          "MOTOROLA",    "NEC",       "NETGEAR",   "NOVATEK",       "NOVATEL",
      "NTRIG",        "NUVOTON",     "NVIDIA",    "O2MICRO",   "OPTION",        "PCAUSA",
      "PLANEX",       "QCOM",        "QLOGIC",    "QUALCOMM",  "RALINK",        "REALTEK",
      "RENESAS",      "RICOH",       "RIM",       "S3",        "SAGEM",         "SAITEK",
      "SAMSUNG",      "SIERRA",      "SILICON",   "SIS",       "SMC",           "SOC",
      "SOFTFOUNDRY",  "SONY",        "SRS",       "ST",        "SUNPLUS",       "SYMANTEC",
      "SYNAPTICS",    "SYNTEK",      "TANDBERG",  "TERRATEC",  "TEXAS",         "TOSHIBA",
      "TOUCHUTILITY", "TRENDNET",    "TRIDENT",   "UNIBRAIN",  "VIA",           "VIDZMEDIA",
      "VIMICRO",      "WACOM",       "WINBOND",   "XAVI",      "XEROX",         "YAMAHA",
      "YEDATA",       "ZEBRA",       "ZTE",       "ZYXEL",
  };
  return kVendors;
}

TEST(CanonicalVendor, DocumentedExamples) {
  ExpectAll(
      {
          {"(Standard system devices)", "MICROSOFT"},
          {"Generic", "MICROSOFT"},
          {"Realtek Semiconductor Corp.", "REALTEK"},
          {"Advanced Micro Devices, Inc.", "AMD"},
          {"NVIDIA Corporation", "NVIDIA"},
          {"FXI", "XEROX"},
          {"\xC3\x9Cnic\xC3\xB6" "de Systems", ""},  // first word with non-ASCII letters
          {"A", ""},
          {"", ""},
          {"   ", ""},
      },
      CanonicalVendor);
}

TEST(CanonicalVendor, FreeTextRulesFirstMatchWins) {
  ExpectAll(
      {
          // Mixed-case printer makers are settled before anything else...
          {"Brother", "BROTHER"},
          {"Brother MFP Series", "BROTHER"},
          {"Canon Inc.", "CANON"},
          {"Canon MFP", "CANON"},
          // ...but only in that spelling: upper case falls through to the HP rules.
          {"BROTHER MFP", "HP"},
          {"  Canon  ", "CANON"},  // trimmed first
          {"N-trig", "NTRIG"},
          {"Research In Motion Limited", "RIM"},
          {"BlackBerry", "RIM"},
          {"D-Link Corporation", "DLINK"},
          {"DLink", "DLINK"},
          {"DisplayLink Corp.", "DLINK"},
          {"Ralink Technology, Corp.", "RALINK"},
          {"Ralink D-Link", "DLINK"},  // the DLINK rule comes first
          {"ALi Corporation", "ACER"},
          {"C-Media Electronics Inc.", "CMEDIA"},
          {"E-mu Systems", "CREATIVE"},
          {"Creative Technology Ltd", "CREATIVE"},
          {"Y-E Data", "YEDATA"},
          {"YE-DATA YEDATA", "YEDATA"},
          {"YED", "YEDATA"},
          {"(Enhanced keyboard)", "MICROSOFT"},
          {"Default", "MICROSOFT"},
          {"Default Monitor", "DEFAULT"},  // "is", not "starts with": the word is kept
          {"Realtek PCIe GBE Family Controller", "AMD"},  // "contains PCIE" is a free-text rule
          {"AMD", "AMD"},
          {"AMDA", "AMD"},
          {"Analog Devices, Inc.", "ANALOGDEVICES"},
          {"Devices of Analog", "ANALOGDEVICES"},  // both words, any order
          {"Samsung Electronics Co., Ltd.", "SAMSUNG"},
          {"Samsung MFP", "SAMSUNG"},  // the SAMSUNG rule precedes the HP rules
          {"SSF", "SAMSUNG"},
          {"SENS", "SAMSUNG"},
          {"CMC7XX", "SAMSUNG"},
          {"C7XX", "SAMSUNG"},
          {"SSUD", "SAMSUNG"},
          {"Hewlett-Packard", "HP"},
          {"ACME HP_1", "HP"},
          {"ACME HP=1", "HP"},
          {"Made by \"HP\"", "HP"},
          {"%hp%", "HP"},
          {"HPPhotosmart", "HP"},
          {"Deskjet 990C", "HP"},
          {"HHP", "HP"},
          {"Generic MFP", "HP"},
          {"HP", "HP"},
          {"hp deskjet", "HP"},
          {"Officejet Pro", "HP"},
          {"Photosmart", "HP"},
          {"EGO SYStems Inc.", "EGO"},
          {"M8UDev", "EGO"},
          {"XPMateDev", "EGO"},
          {"SOC PC-Camera", "SOC"},
          {"ATK", "ATK"},
          {"ASUS ATK0110", "ATK"},
          {"IBM InfoPrint", "INFOPRINT"},
      },
      CanonicalVendor);
}

TEST(CanonicalVendor, ReductionToOneWord) {
  ExpectAll(
      {
          {"\"Acme\" Inc", "ACME"},
          {"  \"Acme Widgets\"  ", "ACME"},
          {"Acme-Tech, Inc.", "ACME"},
          {"Acme.com", "ACME"},
          {"Acme,Inc", "ACME"},
          {"Acme_Drv", "ACME"},
          {"Acme;x", "ACME"},
          {"Acme=x", "ACME"},
          {"Acme&Co", "ACME"},
          {"MFG.Acme", "ACME"},
          {"AcmeMfg", "ACME"},
          {"AcmeMFC", "ACME"},
          {"AcmeDevice", "ACME"},
          {"AcmeFilter", "ACME"},
          {"AcmeModels", "ACME"},  // MODELS is removed before MODEL and MODE
          {"AcmeModel", "ACME"},
          {"AcmeMode", "ACME"},
          {"Acme(R) Corp", "ACME"},
          // A leading bracket becomes a leading blank, and the word before
          // the first blank is empty: bracketed names carry no vendor.
          {"(Unknown)", ""},
          {"(Generic USB Hub)", ""},
          {"{Acme}", ""},
      },
      CanonicalVendor);
}

TEST(CanonicalVendor, WordOverridesLastMatchWins) {
  ExpectAll(
      {
          {"MSFT", "MICROSOFT"},
          {"MS", "MICROSOFT"},
          {"STD", "MICROSOFT"},
          {"Microsoft Corporation", "MICROSOFT"},
          {"AcmeOEM", "MICROSOFT"},
          {"EMU", "CREATIVE"},
          {"SoundCreative", "CREATIVE"},
          {"Ericsson AB", "ERICSSON"},
          {"SonyEricsson", "ERICSSON"},  // later than the SONY alias
          {"EMPF3", "ERICSSON"},
          {"SE", "ERICSSON"},
          {"Texas Instruments", "TEXAS"},
          {"TI", "TEXAS"},
          {"Android", "GOOGLE"},
          {"GIGA-BYTE Technology", "GIGABYTE"},
          {"VIA Technologies, Inc.", "VIA"},
          {"VNT", "VIA"},
          {"ICE", "VIA"},
          {"ENVY", "VIA"},
          {"MDelta", "VIA"},
          {"VINYL", "VIA"},
          {"LG Electronics", "LG"},
          {"VIALG", "LG"},  // LG runs after VIA
          {"NEC Electronics Corporation", "NEC"},
          {"NECEL", "NEC"},
          {"ZTE Corporation", "ZTE"},
          {"SiS", "SIS"},
          {"XSISX", "SIS"},
          {"MicrosoftSIS", "SIS"},
          {"FXIPrinters", "FXI"},
          {"INTL", "INTEL"},
          {"INTC", "INTEL"},
          {"MEI", "INTEL"},
          {"ISCT", "INTEL"},
          {"IMC", "INTEL"},
          {"NetEffect", "INTEL"},
          {"Intel Corporation", "INTEL"},
          {"IntelSiS", "INTEL"},  // INTEL runs after SIS
          {"ESG", "INTEL"},
          {"BCOM", "BROADCOM"},
          {"BRCM", "BROADCOM"},
          {"BCM", "BROADCOM"},
          {"BroadcomInc", "BROADCOM"},
          {"SYN", "SYNAPTICS"},
          {"SN", "SYNAPTICS"},
          {"NVDA", "NVIDIA"},
          {"AGEIA", "NVIDIA"},
          {"CXT", "CONEXANT"},
          {"CAM", "CONEXANT"},
          {"ICOMP", "CONEXANT"},
          {"HSF", "CONEXANT"},
          {"RTK", "REALTEK"},
          {"RTKAVRCP", "REALTEK"},
          {"RTL8139", "REALTEK"},
          {"HDAudio", "REALTEK"},
          {"Realtek", "REALTEK"},
          {"SM", "SILICON"},
          {"SMI", "SILICON"},
          {"SIMG", "SILICON"},
          {"Silicon Image, Inc.", "SILICON"},
          {"RTLSilicon", "SILICON"},  // SILICON runs after REALTEK
          {"STM", "ST"},
          {"ATITechnologies", "ATI"},
          {"SEC", "ATI"},
          {"XTREME", "DIAMOND"},
      },
      CanonicalVendor);
}

TEST(CanonicalVendor, OnlyPlainAsciiWordsSurvive) {
  ExpectAll(
      {
          {"X", ""},
          {"X1", "X1"},
          {"Acme~", ""},  // above 'z'
          {"Acme|Corp", ""},
          {"\xC3\x89lan", ""},
          {"AcmeMfgDevice", "ACME"},
          {"MFG", ""},  // nothing left after the noise words
          // A rule's result counts, not the decorated word that matched it.
          {"Intel\xC2\xAE Corporation", "INTEL"},
      },
      CanonicalVendor);
}

// Each canonical vendor from strings its products actually carry as
// manufacturer or provider.
TEST(CanonicalVendor, EveryVendorIsReachableFromItsUsualNames) {
  const std::vector<TextCase> cases = {
      {"Acer Inc.", "ACER"},
      {"Actiontec Electronics, Inc", "ACTION"},
      {"Adaptec, Inc.", "ADAPTEC"},
      {"AirLink101", "AIRLINK"},
      {"AirLive", "AIRLIVE"},
      {"OvisLink Corp.", "AIRLIVE"},
      {"Alcor Micro Corp.", "ALCOR"},
      {"ULi Electronics Inc.", "ALI"},
      {"Allied Telesis", "ALLIED"},
      {"Advanced Micro Devices, Inc.", "AMD"},
      {"AMD", "AMD"},
      {"Analog Devices, Inc.", "ANALOGDEVICES"},
      {"SoundMAX", "ANALOGDEVICES"},
      {"Angel", "ANGEL"},
      {"Argosy Research Inc.", "ARGOSY"},
      {"ASMedia Technology Inc", "ASMEDIA"},
      {"ASPEED Technology, Inc.", "ASPEED"},
      {"ASUSTeK Computer Inc.", "ASUS"},
      {"Atheros Communications Inc.", "ATHEROS"},
      {"ATI Technologies Inc.", "ATI"},
      {"ATK", "ATK"},
      {"Audiotrak", "AUDIOTRACK"},
      {"AuthenTec, Inc.", "AUTHENTEC"},
      {"Bigfoot Networks, Inc.", "BIGFOOT"},
      {"BIOSTAR Group", "BIOSTAR"},
      {"Bison Electronics Inc.", "BISON"},
      {"BIXOLON", "BIXOLON"},
      {"Broadcom", "BROADCOM"},
      {"Brocade Communications Systems, Inc.", "BROCADE"},
      {"Brother", "BROTHER"},
      {"BROTHER INDUSTRIES", "BROTHER"},
      {"Cambridge Silicon Radio Ltd.", "CAMBRIDGE"},
      {"CSR", "CAMBRIDGE"},
      {"Canon Inc.", "CANON"},
      {"Certance", "CERTANCE"},
      {"cFos Software GmbH", "CFOS"},
      {"Chicony Electronics Co., Ltd.", "CHICONY"},
      {"C-Media Electronics Inc.", "CMEDIA"},
      {"CMedia", "CMEDIA"},
      {"Compaq", "COMPAQ"},
      {"Conexant Systems, Inc.", "CONEXANT"},
      {"corega K.K.", "COREGA"},
      {"Creative Technology Ltd", "CREATIVE"},
      {"Cygnetron", "CYGNETRON"},
      {"Dell Inc.", "DELL"},
      {"Diamond Multimedia", "DIAMOND"},
      {"D-Link Corporation", "DLINK"},
      {"Echo Digital Audio Corporation", "ECHO"},
      {"eGalax Inc.", "EGALAX"},
      {"eGalaxTouch", "EGALAX"},
      {"EGO SYStems Inc.", "EGO"},
      {"eMachines", "EMACHINES"},
      {"EMUSED", "EMUSED"},
      {"ENE Technology Inc.", "ENE"},
      {"EPSON", "EPSON"},
      {"Seiko Epson Corporation", "EPSON"},
      {"Ericsson AB", "ERICSSON"},
      {"ESI Audiotechnik GmbH", "ESI"},
      {"Etron Technology, Inc.", "ETRON"},
      {"Feixun", "FEIXUN"},
      {"Phicomm", "FEIXUN"},
      {"Fractal Audio Systems", "FRACTAL"},
      {"Fresco Logic", "FRESCO"},
      {"FUJITSU LIMITED", "FUJITSU"},
      {"FXIPrinters", "FXI"},
      {"Gateway", "GATEWAY"},
      {"Genesys Logic, Inc.", "GENESYS"},
      {"Genius", "GENIOUS"},
      {"KYE Systems Corp.", "GENIOUS"},
      {"GIGABYTE Technology Co., Ltd.", "GIGABYTE"},
      {"GlobespanVirata, Inc.", "GLOBESPAN"},
      {"Google, Inc.", "GOOGLE"},
      {"Hauppauge Computer Works", "HAUPPAUGE"},
      {"Hercules", "HERCULES"},
      {"Guillemot Corporation", "HERCULES"},
      {"Hitachi", "HITACHI"},
      {"Hewlett-Packard", "HP"},
      {"HUAWEI Incorporated", "HUAWEI"},
      {"IBM", "IBM"},
      {"Infineon Technologies AG", "INFINEON"},
      {"Intel Corporation", "INTEL"},
      {"ITE Tech. Inc.", "ITE"},
      {"Jeilin", "JEILIN"},
      {"JMicron Technology Corp.", "JMICRON"},
      {"JVS", "JVS"},
      {"Kyocera Mita Corporation", "KYOCERA"},
      {"Leadtek Research Inc.", "LEADTEK"},
      {"Lenovo", "LENOVO"},
      {"Lexmark International, Inc.", "LEXMARK"},
      {"LG Electronics Inc.", "LG"},
      {"Lite-On Technology Corp.", "LITEON"},
      {"Logitech", "LOGITECH"},
      {"LSI Corporation", "LSI"},
      {"Agere Systems", "LSI"},
      {"Lumanate", "LUMANATE"},
      {"Mad Catz, Inc.", "MADCATZ"},
      {"Marvell Semiconductor, Inc.", "MARVELL"},
      {"Matrox Graphics Inc.", "MATROX"},
      {"Mellanox Technologies Ltd.", "MELLANOX"},
      {"Microsoft", "MICROSOFT"},
      {"Micro-Star International Co., Ltd.", "MICROSTAR"},
      {"MSI", "MICROSTAR"},
      {"Mitsumi Electric", "MITSUMI"},
      {"MMT", "MMT"},
      {"Motorola Inc.", "MOTOROLA"},
      {"NEC Electronics Corporation", "NEC"},
      {"NETGEAR Inc.", "NETGEAR"},
      {"Novatek", "NOVATEK"},
      {"Novatel Wireless", "NOVATEL"},
      {"N-trig", "NTRIG"},
      {"Nuvoton Technology Corporation", "NUVOTON"},
      {"NVIDIA", "NVIDIA"},
      {"O2Micro", "O2MICRO"},
      {"O2 Micro, Inc.", "O2MICRO"},
      {"Option N.V.", "OPTION"},
      {"PCAUSA", "PCAUSA"},
      {"PLANEX COMMUNICATIONS INC.", "PLANEX"},
      {"QCOM", "QCOM"},
      {"QLogic Corporation", "QLOGIC"},
      {"Qualcomm Atheros", "QUALCOMM"},
      {"Ralink Technology, Corp.", "RALINK"},
      {"Realtek Semiconductor Corp.", "REALTEK"},
      {"Renesas Electronics", "RENESAS"},
      {"Ricoh", "RICOH"},
      {"Research In Motion Limited", "RIM"},
      {"S3 Graphics Co., Ltd.", "S3"},
      {"Sagem", "SAGEM"},
      {"Saitek", "SAITEK"},
      {"Samsung Electronics Co., Ltd.", "SAMSUNG"},
      {"Sierra Wireless, Inc.", "SIERRA"},
      {"Silicon Image, Inc.", "SILICON"},
      {"SiS", "SIS"},
      {"SMC Networks", "SMC"},
      {"SMSC", "SMC"},
      {"SOC PC-Camera", "SOC"},
      {"SoftFoundry", "SOFTFOUNDRY"},
      {"Sony Corporation", "SONY"},
      {"SRS Labs, Inc.", "SRS"},
      {"STM", "ST"},
      {"Sunplus", "SUNPLUS"},
      {"Symantec Corporation", "SYMANTEC"},
      {"Synaptics", "SYNAPTICS"},
      {"Syntek", "SYNTEK"},
      {"Tandberg Data", "TANDBERG"},
      {"TerraTec Electronic GmbH", "TERRATEC"},
      {"Texas Instruments", "TEXAS"},
      {"TOSHIBA", "TOSHIBA"},
      {"TouchUtility", "TOUCHUTILITY"},
      {"TRENDnet", "TRENDNET"},
      {"Trident Microsystems", "TRIDENT"},
      {"Unibrain", "UNIBRAIN"},
      {"VIA Technologies, Inc.", "VIA"},
      {"VidzMedia", "VIDZMEDIA"},
      {"Vimicro", "VIMICRO"},
      {"Wacom Technology", "WACOM"},
      {"Winbond Electronics Corp", "WINBOND"},
      {"XAVi Technologies Corp.", "XAVI"},
      {"Xerox", "XEROX"},
      {"YAMAHA Corporation", "YAMAHA"},
      {"Y-E Data", "YEDATA"},
      {"Zebra Technologies", "ZEBRA"},
      {"ZTE Corporation", "ZTE"},
      {"ZyXEL Communications Corp.", "ZYXEL"},
  };
  ExpectAll(cases, CanonicalVendor);

  std::set<std::string> covered;
  for (const auto& c : cases) covered.insert(c.expected);
  for (const std::string& vendor : KnownVendors()) {
    if (vendor == "INFOPRINT") continue;
    EXPECT_TRUE(covered.contains(vendor)) << vendor << " has no usual name in this table";
  }
}

TEST(VendorRules, TablesAreWellFormed) {
  const std::set<std::string>& known = KnownVendors();
  struct Table {
    const char* name;
    std::span<const VendorRule> rules;
    bool upper_case_literals;
  };
  const Table tables[] = {
      {"case-sensitive", VendorCaseSensitiveRules(), false},
      {"text", VendorTextRules(), true},
      {"word", VendorWordRules(), true},
  };
  for (const Table& table : tables) {
    SCOPED_TRACE(table.name);
    EXPECT_FALSE(table.rules.empty());
    for (const VendorRule& rule : table.rules) {
      SCOPED_TRACE(std::string(rule.text) + " -> " + std::string(rule.vendor));
      const std::string vendor(rule.vendor);
      EXPECT_TRUE(known.contains(vendor) || vendor == "INFOPRINT");
      EXPECT_FALSE(rule.text.empty());
      EXPECT_EQ(rule.match == VendorMatch::kContainsBoth, !rule.also.empty());
      // The text and word rules are matched against upper-cased text: a
      // lower-case letter in a literal would make the rule dead.
      if (table.upper_case_literals) {
        for (char c : std::string(rule.text) + std::string(rule.also))
          EXPECT_FALSE(c >= 'a' && c <= 'z');
      }
    }
  }
}

TEST(VendorRules, RuleKinds) {
  const VendorRule is{VendorMatch::kIs, "ABC", "X"};
  const VendorRule starts{VendorMatch::kStartsWith, "ABC", "X"};
  const VendorRule contains{VendorMatch::kContains, "ABC", "X"};
  const VendorRule both{VendorMatch::kContainsBoth, "AB", "X", "YZ"};
  struct Case {
    const VendorRule* rule;
    const char* text;
    bool holds;
  };
  const Case cases[] = {
      {&is, "ABC", true},         {&is, "ABCD", false},        {&is, "abc", false},
      {&starts, "ABCD", true},    {&starts, "XABC", false},    {&starts, "AB", false},
      {&contains, "XABCX", true}, {&contains, "AXBC", false},  {&both, "YZ AB", true},
      {&both, "ABYZ", true},      {&both, "AB", false},        {&both, "YZ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(VendorRuleHolds(*c.rule, c.text), c.holds);
  }
}

// --- Names, versions, packages ------------------------------------------------------

TEST(CleanDeviceName, RemovesCharactersUnsafeForFilesAndIni) {
  ExpectAll(
      {
          {"", ""},
          {"Realtek High Definition Audio", "Realtek High Definition Audio"},
          {"%RealtekAudio%;Realtek High Definition Audio", "Realtek High Definition Audio"},
          {"a;b;c", "b c"},
          {";", ""},
          {"A\\B/C", "A_B_C"},
          {"Ver. 1.0: x", "Ver  1 0  x"},
          {"<x>", "x"},
          {"\"q\"", "q"},
          {"R&D 100%", "R_D 100_"},
          {"#1 * star", "1   star"},
          {"[x]{y}", "xy"},
          {"a@b", "a_b"},
          {"  padded  ", "padded"},
          {"Intel(R) 82579LM", "Intel(R) 82579LM"},
          {"\xC3\x9C" "ber.Ger\xC3\xA4t", "\xC3\x9C" "ber Ger\xC3\xA4t"},
      },
      CleanDeviceName);
}

TEST(NormaliseVersion, EveryPartBecomesADecimalNumber) {
  ExpectAll(
      {
          {"", ""},
          {"1,2,3", "1.2.3"},
          {"01.002", "1.2"},
          {"1..2", "1.0.2"},
          {"abc", "0"},
          {"6.1.7600.16385", "6.1.7600.16385"},
          {"1, 0, 0, 1", "1.0.0.1"},  // leading blanks are read past
          {"1.2 ", "1.0"},            // trailing ones are not
          {"1.2a", "1.0"},
          {"1.", "1.0"},
          {".5", "0.5"},
          {"-1.2", "-1.2"},
          {"+3", "3"},
          {"0x10", "0"},
          {"2147483647", "2147483647"},
          {"-2147483648", "-2147483648"},
          {"2147483648", "0"},
          {"99999999999999999999.1", "0.1"},
          {" ", "0"},
      },
      NormaliseVersion);
}

TEST(PackageNameOf, TextAfterFirstUnderscore) {
  ExpectAll(
      {
          {"", ""},
          {"123_driver.zip", "driver.zip"},
          {"driver.zip", "driver.zip"},
          {"a_b_c", "b_c"},
          {"_x", "x"},
          {"x_", ""},
          {std::string(300, 'x'), std::string(300, 'x')},  // no "_": not cut
          {"p_" + std::string(300, 'x'), std::string(250, 'x')},
          {"p_" + std::string(249, 'x') + "\xC3\xA9z", std::string(249, 'x') + "\xC3\xA9"},
          {"p_" + std::string(249, 'x') + "\xF0\x9F\x98\x80", std::string(249, 'x')},
      },
      PackageNameOf);
}

// --- Dates ---------------------------------------------------------------------------

TEST(DateValues, CivilDaysMapToSerialNumbers) {
  struct Case {
    int y, m, d;
    double serial;
  };
  const Case cases[] = {
      {1899, 12, 30, 0},     {1899, 12, 31, 1},       {1900, 1, 1, 2},
      {1900, 3, 1, 61},      {2000, 1, 1, 36526},     {2000, 2, 29, 36585},
      {2020, 2, 29, 43890},  {2020, 3, 1, 43891},     {1899, 12, 29, -1},
      {1, 1, 1, -693593},    {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.m) + "-" + std::to_string(c.d));
    EXPECT_EQ(DateFromCivil(c.y, c.m, c.d), c.serial);
    EXPECT_EQ(CivilFromDate(c.serial), (CivilDate{c.y, c.m, c.d}));
  }
}

TEST(DateValues, RejectsDaysThatDoNotExist) {
  const int invalid[][3] = {
      {2019, 2, 29}, {1900, 2, 29}, {2020, 4, 31}, {2020, 13, 1}, {2020, 0, 1},
      {2020, 1, 0},  {2020, 1, 32}, {0, 1, 1},     {10000, 1, 1}, {-5, 1, 1},
  };
  for (const auto& d : invalid) {
    SCOPED_TRACE(std::to_string(d[0]) + "-" + std::to_string(d[1]) + "-" + std::to_string(d[2]));
    EXPECT_FALSE(DateFromCivil(d[0], d[1], d[2]).has_value());
  }
}

TEST(DateValues, TimeOfDayAndRangeWhenSplittingADateTime) {
  struct Case {
    double value;
    std::optional<CivilDate> expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {1.75, CivilDate{1899, 12, 31}},
      {43890.9999, CivilDate{2020, 2, 29}},
      {43890.999999999, CivilDate{2020, 3, 1}},  // within a millisecond of midnight
      {-0.5, CivilDate{1899, 12, 30}},           // days truncate toward zero
      {-1.5, CivilDate{1899, 12, 29}},
      {2958465.5, CivilDate{9999, 12, 31}},
      {2958466.0, std::nullopt},
      {-693594.0, std::nullopt},
      {1e300, std::nullopt},
      {nan, std::nullopt},
      {inf, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(CivilFromDate(c.value), c.expected);
  }
}

TEST(FormatDate, BothFixedForms) {
  struct Case {
    double value;
    bool iso;
    std::string expected;
  };
  const Case cases[] = {
      {0, false, "12-30-1899"},
      {0, true, "1899-12-30"},
      {43890, false, "02-29-2020"},
      {43890.75, true, "2020-02-29"},
      {36526, false, "01-01-2000"},
      {-693593, true, "0001-01-01"},
      {2958465, false, "12-31-9999"},
      {std::numeric_limits<double>::quiet_NaN(), false, ""},
      {1e9, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(FormatDate(c.value, c.iso), c.expected);
  }
}

TEST(ParseDate, ReadsOnlyTheFixedForms) {
  struct Case {
    std::string text;
    bool iso;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {"02-29-2020", false, 43890},
      {"2020-02-29", true, 43890},
      {"12-30-1899", false, 0},
      {"2-9-2020", false, 43870},
      {"2020-2-9", true, 43870},
      {" 02-29-2020 ", false, 43890},
      {"02-30-2020", false, std::nullopt},
      {"02-29-2019", false, std::nullopt},
      {"13-01-2020", false, std::nullopt},
      {"2020-02-29", false, std::nullopt},  // wrong order for the mode
      {"02-29-2020", true, std::nullopt},
      {"02-29-20", false, std::nullopt},
      {"02/29/2020", false, std::nullopt},
      {"02-29-2020-1", false, std::nullopt},
      {"02--2020", false, std::nullopt},
      {"123-01-2020", false, std::nullopt},
      {"aa-bb-cccc", false, std::nullopt},
      {"+2-09-2020", false, std::nullopt},
      {"Unknown", false, std::nullopt},
      {"", false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + (c.iso ? " (iso)" : ""));
    EXPECT_EQ(TryParseDate(c.text, c.iso), c.expected);
    EXPECT_EQ(ParseDate(c.text, c.iso), c.expected.value_or(0.0));
  }
}

TEST(ParseDate, ReadsBackWhatFormatDateWrites) {
  for (double value : {0.0, 1.0, -1.0, 36585.0, 43890.5, 45000.25, -693593.0, 2958465.0}) {
    for (bool iso : {false, true}) {
      SCOPED_TRACE(std::to_string(value) + (iso ? " iso" : ""));
      EXPECT_EQ(ParseDate(FormatDate(value, iso), iso), std::trunc(value));
    }
  }
}

TEST(FormatDatePicture, WindowsPictureElements) {
  struct Case {
    CivilDate date;
    std::string picture;
    std::string expected;
  };
  const CivilDate feb9{2020, 2, 9};  // a Sunday
  const CivilDate nov21{2005, 11, 21};  // a Monday
  const Case cases[] = {
      {feb9, "M/d/yyyy", "2/9/2020"},
      {feb9, "MM/dd/yyyy", "02/09/2020"},
      {feb9, "dd.MM.yyyy", "09.02.2020"},
      {feb9, "yyyy-MM-dd", "2020-02-09"},
      {feb9, "d/M/yy", "9/2/20"},
      {nov21, "dd/MM/yy", "21/11/05"},
      {nov21, "y", "5"},
      {feb9, "y", "20"},
      {feb9, "yyy", "20"},
      {feb9, "yyyyy", "2020"},
      {feb9, "yyyy'\xE5\xB9\xB4'M'\xE6\x9C\x88'd'\xE6\x97\xA5'", "2020\xE5\xB9\xB4" "2\xE6\x9C\x88" "9\xE6\x97\xA5"},
      {feb9, "ddd',' MMM dd yy", "Sun, Feb 09 20"},
      {nov21, "dddd, MMMM d, yyyy", "Monday, November 21, 2005"},
      {CivilDate{1899, 12, 30}, "dddd", "Saturday"},
      {feb9, "'d'd", "d9"},
      {feb9, "'abc''bar'", "abc'bar"},
      {feb9, "d''M", "9'2"},
      {feb9, "'open", "open"},  // unterminated quote runs to the end
      {feb9, "gg yyyy", " 2020"},
      {feb9, "D-m-Y", "D-m-Y"},  // wrong case: literal
      {feb9, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picture);
    EXPECT_EQ(FormatDatePicture(c.date, c.picture), c.expected);
  }
}

TEST(LocaliseDate, RerendersTheIniDateForm) {
  struct Case {
    std::string text;
    std::string format;
    std::string expected;
  };
  const Case cases[] = {
      {"02-09-2020", std::string(kDefaultShortDateFormat), "2/9/2020"},
      {"02-09-2020", "dd.MM.yyyy", "09.02.2020"},
      {"02-09-2020", "yyyy/MM/dd", "2020/02/09"},
      {"12-30-1899", "M/d/yyyy", "12/30/1899"},  // a real date even though its value is 0
      {"Unknown", "dd.MM.yyyy", "Unknown"},
      {"", "dd.MM.yyyy", ""},
      {"not a date", "dd.MM.yyyy", "not a date"},
      {"2020-02-09", "dd.MM.yyyy", "2020-02-09"},  // the ISO form is not the INI form
      {"02-30-2020", "dd.MM.yyyy", "02-30-2020"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.format);
    EXPECT_EQ(LocaliseDate(c.text, c.format), c.expected);
  }
  EXPECT_EQ(LocaliseDate("11-21-2005"), "11/21/2005");
}

}  // namespace
}  // namespace vx
