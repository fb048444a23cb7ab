// The definition tables of the general sweep, and the rule that decides
// whether a file found by a file row is the malware piece it describes.
// The tables are constant data defined in genscan.cpp and walked by their
// row counts; nothing writes them.
#pragma once

#include <cstddef>
#include <string_view>

#include "system/remover.h"
#include "system/scanner.h"

// A service of the family. A name that another program's service could
// carry too names a folder: only a service whose program lies in it is the
// malware's (its binary path after %name% expansion, without the quote or
// the "\??\" that may lead it).
struct SVC_DEF {
  const char16_t* name;         // the service's key name
  const char16_t* imageFolder;  // may hold %name% references; none: any service of that name
};

struct FOLDER_DEF {
  const char16_t* base;     // may hold %name% references
  const char16_t* pattern;  // matched by the platform against folder names only
};

struct FILE_DEF {
  const char16_t* base;     // may hold %name% references
  const char16_t* pattern;  // the platform's * and ? wildcards, plain files only
  const char* fingerprint;  // 32 hexadecimal digits of the whole content's MD5, or none
  int containsCount;        // signatures in use, 0 to 3
  const char* contains[3];  // byte signatures that must all occur
};

constexpr std::size_t SVC_DEF_COUNT = 6;
constexpr std::size_t REG_DEF_COUNT = 5;
constexpr std::size_t FOLDER_DEF_COUNT = 2;
constexpr std::size_t FILE_DEF_COUNT = 17;

extern const SVC_DEF SVC_DEFS[SVC_DEF_COUNT];
extern const REG_DEF REG_DEFS[REG_DEF_COUNT];
extern const FOLDER_DEF FOLDER_DEFS[FOLDER_DEF_COUNT];
extern const FILE_DEF FILE_DEFS[FILE_DEF_COUNT];

// The rogue search address that a hijacked Firefox search plug-in holds.
extern const char ROGUE_SEARCH_PREFIX[];

// 1 when the service with this configuration is the row's: the row names
// no folder, or the service's program lies in it.
int serviceMatches(const SVC_DEF& row, const ServiceConfig& config);

// 1 when the file at `path` meets the row's rule: its fingerprint equals the
// row's (letter case aside), or it holds every signature, or the row has
// neither. A file that cannot be read meets no fingerprint or signature rule.
int fileMatches(const FILE_DEF& row, std::u16string_view path);
