#include "engine/vendor_rules.h"

namespace vx {
namespace {

constexpr VendorMatch kIs = VendorMatch::kIs;
constexpr VendorMatch kStarts = VendorMatch::kStartsWith;
constexpr VendorMatch kHas = VendorMatch::kContains;
constexpr VendorMatch kHasBoth = VendorMatch::kContainsBoth;

// Printer makers settled before anything else, because their model strings
// carry fragments ("MFP", "HP") that the broad HP rules below would claim.
// They are matched in the mixed case their INFs use.
constexpr VendorRule kCaseSensitive[] = {
    {kStarts, "Brother", "BROTHER"},
    {kStarts, "Canon", "CANON"},
};

// Free-text rules: these catch names that the one-word reduction would
// break apart (hyphens, blanks, parentheses) or that only make sense as a
// whole phrase. Order matters: the first match wins.
constexpr VendorRule kText[] = {
    {kHas, "N-TRIG", "NTRIG"},
    {kHas, "RESEARCH IN MOTION", "RIM"},
    {kStarts, "BLACKBERRY", "RIM"},
    {kHas, "DLINK", "DLINK"},
    {kHas, "D-LINK", "DLINK"},
    {kHas, "DISPLAYLINK", "DLINK"},
    {kHas, "RALINK", "RALINK"},
    {kStarts, "ALI", "ACER"},
    {kHas, "C-MEDIA", "CMEDIA"},
    {kHas, "E-MU", "CREATIVE"},
    {kStarts, "CREA", "CREATIVE"},
    {kHas, "Y-E", "YEDATA"},
    {kHas, "YEDATA", "YEDATA"},
    {kIs, "YED", "YEDATA"},
    {kHas, "(STANDARD", "MICROSOFT"},
    {kHas, "(ENHANCED", "MICROSOFT"},
    {kIs, "DEFAULT", "MICROSOFT"},
    {kHas, "ADVANCED MICRO", "AMD"},
    {kHas, "PCIE", "AMD"},
    {kStarts, "AMD", "AMD"},
    {kHasBoth, "ANALOG", "ANALOGDEVICES", "DEVICES"},
    {kHasBoth, "SAM", "SAMSUNG", "SUNG"},
    {kHas, "SSF", "SAMSUNG"},
    {kIs, "SENS", "SAMSUNG"},
    {kIs, "CMC7XX", "SAMSUNG"},
    {kIs, "C7XX", "SAMSUNG"},
    {kIs, "SSUD", "SAMSUNG"},
    {kHas, "HEWLETT", "HP"},
    {kHas, "HP_", "HP"},
    {kHas, "HP=", "HP"},
    {kHas, "\"HP\"", "HP"},
    {kHas, "%HP%", "HP"},
    {kStarts, "HPPHOTOSMART", "HP"},
    {kStarts, "DESKJET", "HP"},
    {kHas, "HHP", "HP"},
    {kHas, "MFP", "HP"},
    {kStarts, "HP", "HP"},
    {kStarts, "HPDESKJET", "HP"},
    {kStarts, "HPOFFICEJET", "HP"},
    {kStarts, "OFFICEJET", "HP"},
    {kStarts, "PHOTOSMART", "HP"},
    {kStarts, "EGO", "EGO"},
    {kHas, "M8UDEV", "EGO"},
    {kHas, "XPMATEDEV", "EGO"},
    {kHas, "SOC PC-CAMERA", "SOC"},
    {kHas, "ATK", "ATK"},
    {kHas, "INFOPRINT", "INFOPRINT"},
};

// Word rules. The first block maps the spellings, abbreviations, former
// names and glued forms ("ASUSTEK", "ACTIONTEC", "AIRLINK101") that makers
// and INF providers actually use onto one canonical vendor each; a maker
// whose usual name reduces to itself needs only the "starts with" row for
// its glued forms. The second block holds the overrides that must win over
// everything before them (abbreviations like "TI", "SE", "SEC", and the
// deliberately broad "contains" rules), in the order they must run.
constexpr VendorRule kWord[] = {
    // Aliases and glued forms.
    {kStarts, "ACER", "ACER"},
    {kStarts, "ACTION", "ACTION"},  // Actiontec
    {kStarts, "ADAPTEC", "ADAPTEC"},
    {kStarts, "AIRLINK", "AIRLINK"},  // AirLink101
    {kStarts, "AIRLIVE", "AIRLIVE"},
    {kIs, "OVISLINK", "AIRLIVE"},  // the maker behind the AirLive brand
    {kStarts, "ALCOR", "ALCOR"},
    {kIs, "ULI", "ALI"},  // ALi's successor; "ALi" itself is taken by ACER above
    {kStarts, "ALLIED", "ALLIED"},  // Allied Telesis
    {kStarts, "ADVANCEDMICRO", "AMD"},
    {kIs, "ADI", "ANALOGDEVICES"},
    {kIs, "SOUNDMAX", "ANALOGDEVICES"},
    {kStarts, "ANGEL", "ANGEL"},
    {kStarts, "ARGOSY", "ARGOSY"},
    {kStarts, "ASMEDIA", "ASMEDIA"},
    {kStarts, "ASPEED", "ASPEED"},
    {kStarts, "ASUS", "ASUS"},  // ASUSTeK
    {kStarts, "ATHEROS", "ATHEROS"},
    {kStarts, "AUDIOTRAK", "AUDIOTRACK"},
    {kStarts, "AUDIOTRACK", "AUDIOTRACK"},
    {kStarts, "AUTHENTEC", "AUTHENTEC"},
    {kStarts, "BIGFOOT", "BIGFOOT"},
    {kStarts, "BIOSTAR", "BIOSTAR"},
    {kStarts, "BISON", "BISON"},
    {kStarts, "BIXOLON", "BIXOLON"},
    {kStarts, "BROCADE", "BROCADE"},
    {kStarts, "BROTHER", "BROTHER"},
    {kStarts, "CAMBRIDGE", "CAMBRIDGE"},  // Cambridge Silicon Radio
    {kIs, "CSR", "CAMBRIDGE"},
    {kStarts, "CANON", "CANON"},
    {kStarts, "CERTANCE", "CERTANCE"},
    {kStarts, "CFOS", "CFOS"},
    {kStarts, "CHICONY", "CHICONY"},
    {kStarts, "CMEDIA", "CMEDIA"},
    {kIs, "CMI", "CMEDIA"},
    {kStarts, "COMPAQ", "COMPAQ"},
    {kStarts, "CONEXANT", "CONEXANT"},
    {kStarts, "COREGA", "COREGA"},
    {kStarts, "CYGNETRON", "CYGNETRON"},
    {kStarts, "DELL", "DELL"},
    {kStarts, "DIAMOND", "DIAMOND"},
    {kIs, "ECHO", "ECHO"},
    {kStarts, "ECHOAUDIO", "ECHO"},
    {kStarts, "EGALAX", "EGALAX"},  // also eGalaxTouch
    {kStarts, "EMACHINES", "EMACHINES"},
    {kStarts, "EMUSED", "EMUSED"},
    {kIs, "ENE", "ENE"},
    {kStarts, "ENETECH", "ENE"},
    {kStarts, "EPSON", "EPSON"},
    {kIs, "SEIKO", "EPSON"},  // Seiko Epson Corporation
    {kIs, "ESI", "ESI"},
    {kStarts, "ETRON", "ETRON"},
    {kStarts, "FEIXUN", "FEIXUN"},
    {kIs, "PHICOMM", "FEIXUN"},
    {kStarts, "FRACTAL", "FRACTAL"},
    {kStarts, "FRESCO", "FRESCO"},  // Fresco Logic
    {kStarts, "FUJITSU", "FUJITSU"},
    {kIs, "FSC", "FUJITSU"},  // Fujitsu Siemens Computers
    {kStarts, "GATEWAY", "GATEWAY"},
    {kStarts, "GENESYS", "GENESYS"},
    {kStarts, "GENIUS", "GENIOUS"},
    {kIs, "KYE", "GENIOUS"},  // KYE Systems sells under the Genius brand
    {kStarts, "GLOBESPAN", "GLOBESPAN"},  // also GlobespanVirata
    {kStarts, "GOOGLE", "GOOGLE"},
    {kStarts, "HAUPPAUGE", "HAUPPAUGE"},
    {kStarts, "HERCULES", "HERCULES"},
    {kIs, "GUILLEMOT", "HERCULES"},
    {kStarts, "HITACHI", "HITACHI"},
    {kIs, "HGST", "HITACHI"},
    {kStarts, "HUAWEI", "HUAWEI"},
    {kIs, "IBM", "IBM"},
    {kStarts, "INFINEON", "INFINEON"},
    {kIs, "IFX", "INFINEON"},
    {kIs, "ITE", "ITE"},
    {kStarts, "ITETECH", "ITE"},
    {kStarts, "JEILIN", "JEILIN"},
    {kStarts, "JMICRON", "JMICRON"},
    {kIs, "JVS", "JVS"},
    {kStarts, "KYOCERA", "KYOCERA"},
    {kStarts, "LEADTEK", "LEADTEK"},
    {kStarts, "LENOVO", "LENOVO"},
    {kStarts, "LEXMARK", "LEXMARK"},
    {kStarts, "LITEON", "LITEON"},
    {kIs, "LITE", "LITEON"},  // "Lite-On" loses its tail at the hyphen
    {kStarts, "LOGITECH", "LOGITECH"},
    {kIs, "LOGI", "LOGITECH"},
    {kIs, "LSI", "LSI"},
    {kStarts, "LSILOGIC", "LSI"},
    {kIs, "AGERE", "LSI"},  // Agere's drivers continued under LSI
    {kStarts, "LUMANATE", "LUMANATE"},
    {kStarts, "MADCATZ", "MADCATZ"},
    {kIs, "MAD", "MADCATZ"},  // "Mad Catz" loses its second word
    {kStarts, "MARVELL", "MARVELL"},
    {kStarts, "MATROX", "MATROX"},
    {kStarts, "MELLANOX", "MELLANOX"},
    {kStarts, "MICROSTAR", "MICROSTAR"},
    {kIs, "MICRO", "MICROSTAR"},  // "Micro-Star" loses its tail at the hyphen
    {kIs, "MSI", "MICROSTAR"},
    {kStarts, "MITSUMI", "MITSUMI"},
    {kIs, "MMT", "MMT"},
    {kStarts, "MOTOROLA", "MOTOROLA"},
    {kStarts, "NETGEAR", "NETGEAR"},
    {kStarts, "NOVATEK", "NOVATEK"},
    {kStarts, "NOVATEL", "NOVATEL"},
    {kStarts, "NUVOTON", "NUVOTON"},
    {kStarts, "NVIDIA", "NVIDIA"},
    {kStarts, "O2MICRO", "O2MICRO"},
    {kIs, "O2", "O2MICRO"},  // "O2 Micro" loses its second word
    {kIs, "OPTION", "OPTION"},
    {kStarts, "PCAUSA", "PCAUSA"},
    {kStarts, "PLANEX", "PLANEX"},
    {kIs, "QCOM", "QCOM"},
    {kStarts, "QLOGIC", "QLOGIC"},
    {kStarts, "QUALCOMM", "QUALCOMM"},
    {kStarts, "RENESAS", "RENESAS"},
    {kStarts, "RICOH", "RICOH"},
    {kIs, "S3", "S3"},
    {kStarts, "S3GRAPHICS", "S3"},
    {kStarts, "SAGEM", "SAGEM"},
    {kStarts, "SAITEK", "SAITEK"},
    {kIs, "SIERRA", "SIERRA"},
    {kStarts, "SIERRAWIRELESS", "SIERRA"},
    {kIs, "SMC", "SMC"},
    {kIs, "SMSC", "SMC"},
    {kStarts, "SOFTFOUNDRY", "SOFTFOUNDRY"},
    {kStarts, "SONY", "SONY"},
    {kIs, "SRS", "SRS"},
    {kStarts, "SRSLABS", "SRS"},
    {kStarts, "SUNPLUS", "SUNPLUS"},
    {kStarts, "SYMANTEC", "SYMANTEC"},
    {kStarts, "SYNAPTICS", "SYNAPTICS"},
    {kStarts, "SYNTEK", "SYNTEK"},
    {kStarts, "TANDBERG", "TANDBERG"},
    {kStarts, "TERRATEC", "TERRATEC"},
    {kStarts, "TOSHIBA", "TOSHIBA"},
    {kStarts, "TOUCHUTILITY", "TOUCHUTILITY"},
    {kStarts, "TRENDNET", "TRENDNET"},
    {kStarts, "TRIDENT", "TRIDENT"},
    {kStarts, "UNIBRAIN", "UNIBRAIN"},
    {kStarts, "VIDZMEDIA", "VIDZMEDIA"},
    {kStarts, "VIMICRO", "VIMICRO"},
    {kStarts, "WACOM", "WACOM"},
    {kStarts, "WINBOND", "WINBOND"},
    {kStarts, "XAVI", "XAVI"},
    {kStarts, "XEROX", "XEROX"},
    {kStarts, "YAMAHA", "YAMAHA"},
    {kStarts, "ZEBRA", "ZEBRA"},
    {kStarts, "ZYXEL", "ZYXEL"},

    // Overrides, in the order they must run.
    {kIs, "MSFT", "MICROSOFT"},
    {kIs, "MS", "MICROSOFT"},
    {kIs, "STD", "MICROSOFT"},
    {kHas, "MICROSOFT", "MICROSOFT"},
    {kHas, "OEM", "MICROSOFT"},
    {kIs, "GENERIC", "MICROSOFT"},
    {kHas, "CREATIVE", "CREATIVE"},
    {kIs, "EMU", "CREATIVE"},
    {kHas, "ERICSS", "ERICSSON"},
    {kIs, "EMPF3", "ERICSSON"},
    {kIs, "SE", "ERICSSON"},
    {kHas, "TEXAS", "TEXAS"},
    {kIs, "TI", "TEXAS"},
    {kHas, "ANDROID", "GOOGLE"},
    {kHas, "GIGA", "GIGABYTE"},
    {kHas, "VIA", "VIA"},
    {kIs, "VNT", "VIA"},
    {kIs, "ICE", "VIA"},
    {kIs, "ENVY", "VIA"},
    {kHas, "DELTA", "VIA"},
    {kIs, "VINYL", "VIA"},
    {kHas, "LG", "LG"},
    {kStarts, "NEC", "NEC"},
    {kIs, "FXI", "NEC"},
    {kIs, "ZTE", "ZTE"},
    // The reduced word never holds a blank, so this row cannot fire; it is
    // kept so the table stays a faithful record of the rule set.
    {kHas, "ZTE ", "ZTE"},
    {kHas, "SIS", "SIS"},
    {kHas, "FXI", "FXI"},
    {kIs, "INTL", "INTEL"},
    {kIs, "INTC", "INTEL"},
    {kIs, "MEI", "INTEL"},
    {kIs, "ISCT", "INTEL"},
    {kIs, "IMC", "INTEL"},
    {kIs, "NETEFFECT", "INTEL"},
    {kHas, "INTEL", "INTEL"},
    {kHas, "ESG", "INTEL"},
    {kIs, "BCOM", "BROADCOM"},
    {kIs, "BRCM", "BROADCOM"},
    {kIs, "BCM", "BROADCOM"},
    {kStarts, "BROADCOM", "BROADCOM"},
    {kIs, "SYN", "SYNAPTICS"},
    {kIs, "SN", "SYNAPTICS"},
    {kIs, "FXI", "XEROX"},  // Fuji Xerox: wins over both FXI rows above
    {kIs, "NVDA", "NVIDIA"},
    {kIs, "AGEIA", "NVIDIA"},
    {kIs, "CXT", "CONEXANT"},
    {kIs, "CAM", "CONEXANT"},
    {kIs, "ICOMP", "CONEXANT"},
    {kIs, "RTK", "REALTEK"},
    {kIs, "RTKAVRCP", "REALTEK"},
    {kHas, "RTL", "REALTEK"},
    {kHas, "HDA", "REALTEK"},
    {kStarts, "REALT", "REALTEK"},
    {kIs, "HSF", "CONEXANT"},
    {kIs, "SM", "SILICON"},
    {kIs, "SMI", "SILICON"},
    {kIs, "SIMG", "SILICON"},
    {kHas, "SILICON", "SILICON"},
    {kIs, "STM", "ST"},
    {kIs, "ATITECHNOLOGIES", "ATI"},
    {kIs, "SEC", "ATI"},
    {kIs, "XTREME", "DIAMOND"},
};

}  // namespace

bool VendorRuleHolds(const VendorRule& rule, std::string_view text) {
  switch (rule.match) {
    case VendorMatch::kIs:
      return text == rule.text;
    case VendorMatch::kStartsWith:
      return text.starts_with(rule.text);
    case VendorMatch::kContains:
      return text.find(rule.text) != std::string_view::npos;
    case VendorMatch::kContainsBoth:
      return text.find(rule.text) != std::string_view::npos &&
             text.find(rule.also) != std::string_view::npos;
  }
  return false;
}

std::span<const VendorRule> VendorCaseSensitiveRules() { return kCaseSensitive; }
std::span<const VendorRule> VendorTextRules() { return kText; }
std::span<const VendorRule> VendorWordRules() { return kWord; }

}  // namespace vx
