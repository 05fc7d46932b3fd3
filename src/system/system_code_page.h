#pragma once

#include "platform/ansi_code_page.h"
#include "registry/mod_reg.h"

namespace quillet::system {

// Where Windows records its ANSI code page: HKEY_LOCAL_MACHINE, this key, value "ACP".
inline constexpr char kCodePageKey[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Nls\\CodePage";
inline constexpr char kAnsiCodePageValue[] = "ACP";

// The ANSI code page the system whose registry `modReg` reads writes its 8-bit texts in;
// Windows-1252 when the registry does not say, or names a code page this system cannot decode.
AnsiCodePage SystemCodePage(registry::ModReg& modReg);

}  // namespace quillet::system
