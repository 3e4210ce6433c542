#include "SaneOptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const SANE_Option_Descriptor* descriptorOf(SANE_Handle handle, const char* name, int* index) {
  *index = findSaneOption(handle, name);
  return *index < 0 ? nullptr : sane_get_option_descriptor(handle, *index);
}

bool isWritable(const SANE_Option_Descriptor* descriptor) {
  return descriptor && SANE_OPTION_IS_ACTIVE(descriptor->cap) && SANE_OPTION_IS_SETTABLE(descriptor->cap);
}

double wordToNumber(SANE_Word word, SANE_Value_Type type) {
  return type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : double(word);
}

SANE_Word numberToWord(double value, SANE_Value_Type type) {
  if (type == SANE_TYPE_FIXED) return SANE_FIX(value);
  if (type == SANE_TYPE_BOOL) return value != 0 ? SANE_TRUE : SANE_FALSE;
  return SANE_Word(std::lround(value));
}

double allowedNumber(const SANE_Option_Descriptor* descriptor, double value) {
  if (descriptor->constraint_type == SANE_CONSTRAINT_WORD_LIST && descriptor->constraint.word_list) {
    const SANE_Word* words = descriptor->constraint.word_list;
    double best = value;
    double bestDistance = -1;
    for (SANE_Word i = 1; i <= words[0]; ++i) {
      const double candidate = wordToNumber(words[i], descriptor->type);
      const double distance = std::fabs(candidate - value);
      if (bestDistance < 0 || distance < bestDistance) {
        best = candidate;
        bestDistance = distance;
      }
    }
    return best;
  }
  if (descriptor->constraint_type == SANE_CONSTRAINT_RANGE && descriptor->constraint.range) {
    const SANE_Range* range = descriptor->constraint.range;
    const double low = wordToNumber(range->min, descriptor->type);
    const double high = wordToNumber(range->max, descriptor->type);
    const double step = wordToNumber(range->quant, descriptor->type);
    double clamped = std::fmin(std::fmax(value, low), high);
    if (step > 0) clamped = std::fmin(low + std::round((clamped - low) / step) * step, high);
    return clamped;
  }
  return value;
}

}  // namespace

int findSaneOption(SANE_Handle handle, const char* name) {
  if (!handle || !name) return -1;
  SANE_Int count = 0;
  if (sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return -1;
  for (SANE_Int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* descriptor = sane_get_option_descriptor(handle, i);
    if (descriptor && descriptor->name && std::strcmp(descriptor->name, name) == 0) return i;
  }
  return -1;
}

bool setSaneNumber(SANE_Handle handle, const char* name, double value) {
  int index = -1;
  const SANE_Option_Descriptor* descriptor = descriptorOf(handle, name, &index);
  if (!isWritable(descriptor)) return false;
  if (descriptor->type != SANE_TYPE_INT && descriptor->type != SANE_TYPE_FIXED && descriptor->type != SANE_TYPE_BOOL)
    return false;
  if (descriptor->size < SANE_Int(sizeof(SANE_Word))) return false;
  // An array option gets the value in every element.
  std::vector<SANE_Word> words(size_t(descriptor->size) / sizeof(SANE_Word),
                               numberToWord(allowedNumber(descriptor, value), descriptor->type));
  return sane_control_option(handle, index, SANE_ACTION_SET_VALUE, words.data(), nullptr) == SANE_STATUS_GOOD;
}

std::optional<double> saneNumber(SANE_Handle handle, const char* name) {
  int index = -1;
  const SANE_Option_Descriptor* descriptor = descriptorOf(handle, name, &index);
  if (!descriptor || !SANE_OPTION_IS_ACTIVE(descriptor->cap) || descriptor->size < SANE_Int(sizeof(SANE_Word)))
    return std::nullopt;
  if (descriptor->type != SANE_TYPE_INT && descriptor->type != SANE_TYPE_FIXED && descriptor->type != SANE_TYPE_BOOL)
    return std::nullopt;
  std::vector<SANE_Word> words(size_t(descriptor->size) / sizeof(SANE_Word), 0);
  if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, words.data(), nullptr) != SANE_STATUS_GOOD)
    return std::nullopt;
  return wordToNumber(words[0], descriptor->type);
}

std::optional<QList<double>> saneWordList(SANE_Handle handle, const char* name) {
  int index = -1;
  const SANE_Option_Descriptor* descriptor = descriptorOf(handle, name, &index);
  if (!descriptor || descriptor->constraint_type != SANE_CONSTRAINT_WORD_LIST || !descriptor->constraint.word_list)
    return std::nullopt;
  QList<double> values;
  const SANE_Word* words = descriptor->constraint.word_list;
  for (SANE_Word i = 1; i <= words[0]; ++i) values << wordToNumber(words[i], descriptor->type);
  return values;
}

SANE_Unit saneUnit(SANE_Handle handle, const char* name) {
  int index = -1;
  const SANE_Option_Descriptor* descriptor = descriptorOf(handle, name, &index);
  return descriptor ? descriptor->unit : SANE_UNIT_NONE;
}

bool setSaneString(SANE_Handle handle, const char* name, const QString& value) {
  int index = -1;
  const SANE_Option_Descriptor* descriptor = descriptorOf(handle, name, &index);
  if (!isWritable(descriptor) || descriptor->type != SANE_TYPE_STRING || descriptor->size < 1) return false;
  const QStringList allowed = saneStringList(handle, name);
  if (descriptor->constraint_type == SANE_CONSTRAINT_STRING_LIST && !allowed.contains(value)) return false;
  // The device reads up to the option's size, so the buffer has exactly that.
  std::vector<char> buffer(size_t(descriptor->size), '\0');
  const QByteArray bytes = value.toUtf8();
  std::memcpy(buffer.data(), bytes.constData(), std::min(size_t(bytes.size()), buffer.size() - 1));
  return sane_control_option(handle, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr) == SANE_STATUS_GOOD;
}

QStringList saneStringList(SANE_Handle handle, const char* name) {
  int index = -1;
  const SANE_Option_Descriptor* descriptor = descriptorOf(handle, name, &index);
  QStringList entries;
  if (!descriptor || descriptor->constraint_type != SANE_CONSTRAINT_STRING_LIST) return entries;
  for (const SANE_String_Const* entry = descriptor->constraint.string_list; entry && *entry; ++entry)
    entries << QString::fromUtf8(*entry);
  return entries;
}

QString pickSaneSource(const QStringList& sources, bool feeder, bool duplex) {
  QString back;
  for (const QString& value : sources) {
    const QString lower = value.toLower();
    const bool isDuplex = lower.contains(QLatin1String("duplex"));
    const bool isFeeder = isDuplex || lower.contains(QLatin1String("feeder")) || lower.contains(QLatin1String("adf"));
    if (!(duplex ? isDuplex : feeder ? isFeeder && !isDuplex : !isFeeder)) continue;
    // A simplex run feeds the sheet's front; a back source only when no other.
    if (feeder && !duplex && lower.contains(QLatin1String("back"))) {
      if (back.isEmpty()) back = value;
      continue;
    }
    return value;
  }
  return back;
}

double saneAreaExtent(double millimetres, SANE_Unit unit, double dpi) {
  return unit == SANE_UNIT_PIXEL ? millimetres * dpi / 25.4 : millimetres;
}
