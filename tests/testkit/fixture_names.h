// The made-up port names of the tests, benchmarks and fuzz seeds. Every port name
// they invent begins with the prefix the demo boards use (demo/boards.json), so that a
// reader sees at once which names are fixtures. The prefixes are string literals: a
// name is written `WM_WWPN_PREFIX "000001"` and stays one literal, so tables of
// `const char*` and long file texts keep their shape. Names of the demo boards
// themselves are written as the board file spells them.
#pragma once

// The prefix's last byte, on which the forms below agree: as text, and as the top
// byte of the port name's second 32-bit word (a level-4 board's region 16 holds that
// word byte-reversed, so the byte comes last there).
#define WM_PREFIX_BYTE "DF"
#define WM_PREFIX_BYTE_VALUE 0xDFu

// Port names (WWPN), 16 hexadecimal digits: plain, in lower case for the checks of
// case folding, with colons and with dashes.
#define WM_WWPN_PREFIX "10000000" WM_PREFIX_BYTE
#define WM_WWPN_PREFIX_LOWER "10000000df"
#define WM_WWPN_PREFIX_COLONS "10:00:00:00:" WM_PREFIX_BYTE
#define WM_WWPN_PREFIX_COLONS_LOWER "10:00:00:00:df"
#define WM_WWPN_PREFIX_DASHES "10-00-00-00-" WM_PREFIX_BYTE

// The same prefix with the leading 2 of the demo boards' node names (WWNN), for port
// names of that form: plain, and with colons in lower case.
#define WM_WWNN_PREFIX "20000000" WM_PREFIX_BYTE
#define WM_WWNN_PREFIX_COLONS_LOWER "20:00:00:00:df"

// Network ports' MAC addresses, with dashes as soft VPD files write them.
#define WM_MAC_PREFIX_DASHES "00-00-" WM_PREFIX_BYTE
