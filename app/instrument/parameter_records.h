// The records the program sends to the instrument, filled from the test record, and their
// inverse for the recovery of a test the instrument still holds.
//
// Arithmetic follows the records' own widths: a float field times an integer scale is float
// arithmetic, the small additions (0.0001, 0.001, 0.00001) are double, and every result is
// truncated towards zero before its low bits are stored. These truncations decide the bytes the
// instrument sees, so they are kept exactly.
//
// Plain functions of their arguments; any thread may call them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "data/cinfo.h"
#include "link/kaxil_records.h"

namespace lx9 {

using JobTextBlock = std::array<uint8_t, kJobTextBlockSize>;

// Pile and test parameters (SetPara1). The header bytes are left zero: the library writes them.
_Ctrl_SET1_INFO_DLL fillSet1(const CInfo& info);

// Channels and sections (SetPara2). Header left zero.
_Ctrl_SET2_INFO_DLL fillSet2(const CInfo& info);

// The job texts (SetPara3): siteName, unitName, personName, pileId and extraText in GBK, each in a
// 50-byte field at 4, 54, 104, 154, 204, zero-terminated and zero-padded (at most 49 bytes of text,
// never a double-byte character cut in half). Header left zero.
JobTextBlock fillJobText(const CInfo& info);

// The channel configuration (Set) from the channels, the pairing mode and the sections.
_Ctrl_Code_INFO_DLL fillCodeConfig(const CInfo& info);

// The inverse, for the recovery of a held test: codes back to texts, scaled values divided back,
// texts from GBK. A value whose encoding equals that of the value already in `info` keeps the
// value in `info`, so nothing is lost to the scaling (or to a field too narrow for the value, such
// as the main frequency's low 16 bits); otherwise the scaled value is divided back.
void decodeSet1(const _Ctrl_SET1_INFO_DLL& record, CInfo& info);
void decodeSet2(const _Ctrl_SET2_INFO_DLL& record, CInfo& info);
// `size` bytes of the received block (fields beyond it are left alone).
void decodeJobText(const uint8_t* block, size_t size, CInfo& info);

// Index of the pair of channels (or pipes) a and b in the order 1-2, 1-3, 1-4, 2-3, 2-4, 3-4;
// -1 for anything else.
int pairIndex(int a, int b);

// Section-name code of SET2: 1 to 6 for "1-2" … "3-4", 0 for another name.
uint8_t set2SectionNameCode(std::string_view name);

}  // namespace lx9
