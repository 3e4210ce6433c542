#pragma once
// A name of an OpenType face (family, style, PostScript name) as text.

#include <QString>

#include <hb-ot.h>

#include <algorithm>
#include <vector>

inline QString openTypeName(hb_face_t* face, hb_ot_name_id_t id) {
  std::vector<uint16_t> buffer(257);
  unsigned int written = unsigned(buffer.size());  // in: room, out: code units written
  hb_ot_name_get_utf16(face, id, HB_LANGUAGE_INVALID, &written, buffer.data());
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data()),
                            qsizetype(std::min<size_t>(written, buffer.size())));
}
