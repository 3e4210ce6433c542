#include "ShowCut.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>

namespace {

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text = "<";
  for (const unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text + ">";
}

}  // namespace

int showCodeBytes(const QPDFObjectHandle& handle) {
  QPDFObjectHandle font = handle;
  if (!font.isDictionary()) return 0;
  QPDFObjectHandle subtype = font.getKey("/Subtype");
  if (!subtype.isName()) return 0;
  const std::string kind = subtype.getName();
  if (kind == "/Type1" || kind == "/TrueType" || kind == "/Type3" || kind == "/MMType1") return 1;
  if (kind != "/Type0") return 0;
  QPDFObjectHandle encoding = font.getKey("/Encoding");
  return encoding.isName() && (encoding.getName() == "/Identity-H" || encoding.getName() == "/Identity-V") ? 2 : 0;
}

int countCodes(const std::vector<ShowOperand>& drawn, int codeBytes) {
  if (codeBytes <= 0) return -1;
  int count = 0;
  for (const ShowOperand& e : drawn) {
    if (e.kind == ShowOperand::Other || (e.kind == ShowOperand::Codes && e.value.size() % size_t(codeBytes) != 0))
      return -1;
    if (e.kind == ShowOperand::Codes) count += int(e.value.size() / size_t(codeBytes));
  }
  return count;
}

std::string keptShow(const std::vector<ShowOperand>& drawn, int codeBytes, int expected, int from, int to,
                     bool leading) {
  if (codeBytes <= 0 || from < 0 || to > expected || from >= to) return {};
  const int count = countCodes(drawn, codeBytes);
  if (count != expected) return {};

  std::string operands = "[";
  std::string pendingSpacing;
  int index = 0;
  for (const ShowOperand& e : drawn) {
    if (e.kind == ShowOperand::Spacing) {
      // A spacing stays only between kept codes, or before the first when
      // nothing moved that code from where the show put it.
      if ((index > from && index < to) || (leading && index <= from)) pendingSpacing += e.value + " ";
      continue;
    }
    const int n = int(e.value.size() / size_t(codeBytes));
    const int first = std::max(from, index), last = std::min(to, index + n);
    if (first < last) {
      operands += pendingSpacing + hex(e.value.substr(size_t(first - index) * size_t(codeBytes),
                                                      size_t(last - first) * size_t(codeBytes))) + " ";
      pendingSpacing.clear();
    }
    index += n;
    if (index >= to) break;
  }
  return operands + "] TJ";
}

std::string wholeShow(const std::vector<ShowOperand>& drawn, bool leading) {
  std::string operands = "[";
  bool drawing = false;
  for (const ShowOperand& e : drawn) {
    if (e.kind == ShowOperand::Other) return {};
    if (e.kind == ShowOperand::Codes) drawing = true;
    if (e.kind == ShowOperand::Spacing && !drawing && !leading) continue;
    operands += (e.kind == ShowOperand::Codes ? hex(e.value) : e.value) + " ";
  }
  return drawing ? operands + "] TJ" : std::string();
}
