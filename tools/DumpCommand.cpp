// tindrel-table dump TABLE [--csv] [--encoding NAME]
//
// The CSV form is the one other dBASE readers' output is commonly compared in: RFC 4180 with
// CRLF row ends and minimal quoting, field names as stored, numbers as an integer or the
// shortest decimal that reads back as the same double, ISO dates, T/F logicals, memos whole,
// blank values empty.

#include <iconv.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "store/engine/EngineError.h"
#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

using engine::EngineError;
using engine::FieldDesc;
using engine::Record;
using engine::ResultCode;
using engine::Table;

void WriteOut(const std::string& bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    throw EngineError(ResultCode::IoError, std::string("cannot write the output: ") + std::strerror(errno));
}

namespace {

// Python-style encoding names ("latin-1", "cp437") to the names iconv knows.
std::string IconvName(const std::string& name) {
  std::string key;
  for (char c : name)
    if (c != '-' && c != '_') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (key == "latin1" || key == "l1" || key == "iso88591" || key == "8859") return "ISO-8859-1";
  if (key == "ascii" || key == "usascii") return "ASCII";
  if (key == "utf8") return "UTF-8";
  return name;
}

// Decodes raw field bytes from a named code page to UTF-8. Bytes the code page does not map
// become U+FFFD, with one warning for the whole dump.
class Decoder {
 public:
  explicit Decoder(const std::string& name) : name_(name) {
    cd_ = iconv_open("UTF-8", IconvName(name).c_str());
    if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open("UTF-8", name.c_str());
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw UsageError("unknown encoding '" + name + "'");
  }
  ~Decoder() { iconv_close(cd_); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  std::string Decode(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() * 2 + 8);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(raw.data());
    size_t inLeft = raw.size();
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      if (rc == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: a byte this code page does not map.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        if (!warned_) {
          std::fprintf(stderr, "tindrel-table: warning: bytes that %s does not map are shown as U+FFFD\n", name_.c_str());
          warned_ = true;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  std::string name_;
  iconv_t cd_;
  bool warned_ = false;
};

std::string Trim(std::string_view s, std::string_view chars = " ") {
  const size_t b = s.find_first_not_of(chars);
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(chars);
  return std::string(s.substr(b, e - b + 1));
}

std::string RightTrim(std::string_view s, std::string_view chars) {
  const size_t e = s.find_last_not_of(chars);
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

// The shortest text that reads back as `v`, in the layout Python's repr gives a float:
// positional for exponents -4..15 (always with a fraction), scientific otherwise.
std::string FloatText(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  std::string sci(buf, result.ptr);
  std::string sign;
  if (sci[0] == '-') {
    sign = "-";
    sci.erase(0, 1);
  }
  const size_t ePos = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + ePos + 1);
  std::string digits;
  for (size_t i = 0; i < ePos; ++i)
    if (sci[i] != '.') digits += sci[i];
  if (exponent >= -4 && exponent < 16) {
    std::string text;
    if (exponent < 0) {
      text = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
      const size_t intDigits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= intDigits) {
        text = digits + std::string(intDigits - digits.size(), '0') + ".0";
      } else {
        text = digits.substr(0, intDigits) + "." + digits.substr(intDigits);
      }
    }
    return sign + text;
  }
  std::string text = digits.substr(0, 1);
  if (digits.size() > 1) text += "." + digits.substr(1);
  char exp[16];
  std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return sign + text + exp;
}

// A number field's text as an integer or a float; blank or overflow stars: empty.
std::string NumberText(std::string_view raw) {
  std::string t = Trim(raw, std::string_view(" \0", 2));
  if (t.empty() || t.find_first_not_of('*') == std::string::npos) return {};
  size_t i = 0;
  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    i = 1;
  }
  if (i < t.size() && t.find_first_not_of("0123456789", i) == std::string::npos) {
    const size_t firstNonZero = t.find_first_not_of('0', i);
    if (firstNonZero == std::string::npos) return "0";
    return (negative ? "-" : "") + t.substr(firstNonZero);
  }
  std::string dotted = t;
  for (char& c : dotted)
    if (c == ',') c = '.';
  char* end = nullptr;
  const double v = std::strtod(dotted.c_str(), &end);
  if (end == dotted.c_str() + dotted.size()) return FloatText(v);
  return t;
}

bool ValidDate(int y, int m, int d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap);
}

std::string DateText(std::string_view raw) {
  const std::string t = Trim(raw, std::string_view(" \0", 2));
  if (t.empty() || t.find_first_not_of('0') == std::string::npos) return {};
  if (raw.size() >= 8 && std::string_view(raw.substr(0, 8)).find_first_not_of("0123456789") == std::string_view::npos) {
    const int y = std::atoi(std::string(raw.substr(0, 4)).c_str());
    const int m = std::atoi(std::string(raw.substr(4, 2)).c_str());
    const int d = std::atoi(std::string(raw.substr(6, 2)).c_str());
    if (ValidDate(y, m, d)) {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
      return buf;
    }
  }
  return t;
}

std::string LogicalText(std::string_view raw) {
  if (raw.empty()) return {};
  switch (raw[0]) {
    case 'T': case 't': case 'Y': case 'y': return "T";
    case 'F': case 'f': case 'N': case 'n': return "F";
    default: return {};
  }
}

int64_t LittleEndian(std::string_view raw, size_t at, size_t size) {
  uint64_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(static_cast<unsigned char>(raw[at + i])) << (8 * i);
  if (size < 8 && (v >> (8 * size - 1)) & 1) v |= ~uint64_t{0} << (8 * size);
  return static_cast<int64_t>(v);
}

// Currency: a 64-bit count of ten-thousandths, shown exactly, without trailing zeros.
std::string CurrencyText(std::string_view raw) {
  if (raw.size() != 8) return {};
  const int64_t v = LittleEndian(raw, 0, 8);
  const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string text = std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return (v < 0 ? "-" : "") + text;
}

// Date and time: Julian day number, then milliseconds since midnight.
std::string DateTimeText(std::string_view raw) {
  if (raw.size() != 8 || raw.find_first_not_of(std::string_view(" \0", 2)) == std::string_view::npos) return {};
  const int64_t jdn = LittleEndian(raw, 0, 4);
  const int64_t ms = static_cast<uint32_t>(LittleEndian(raw, 4, 4));
  if (jdn <= 0) return {};
  // Julian day number to the proleptic Gregorian calendar.
  const int64_t a = jdn + 32044;
  const int64_t b = (4 * a + 3) / 146097;
  const int64_t c = a - 146097 * b / 4;
  const int64_t d = (4 * c + 3) / 1461;
  const int64_t e = c - 1461 * d / 4;
  const int64_t m = (5 * e + 2) / 153;
  const int64_t day = e - (153 * m + 2) / 5 + 1;
  const int64_t month = m + 3 - 12 * (m / 10);
  const int64_t year = 100 * b + d - 4800 + m / 10;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
  std::string text = buf;
  if (ms % 1000) {
    std::snprintf(buf, sizeof buf, ".%06lld", static_cast<long long>(ms % 1000 * 1000));
    text += buf;
  }
  return text;
}

std::string CsvCell(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

class Dumper {
 public:
  Dumper(Table& table, Decoder* decoder) : table_(table), decoder_(decoder) {}

  std::string Decode(std::string_view raw) const {
    return decoder_ ? decoder_->Decode(raw) : table_.DecodeText(raw);
  }

  std::string MemoText(const Record& record, int field) const {
    if (table_.IsBlank(record, field)) return {};
    try {
      // A damaged memo is printed as far as it can be read, with a warning.
      std::string problem;
      std::string text = table_.ReadDamagedMemo(record, field, &problem);
      if (!problem.empty())
        std::fprintf(stderr, "tindrel-table: warning: record %u, field %s: %s\n", record.recno,
                     table_.Fields()[field].name.c_str(), problem.c_str());
      if (!decoder_) return text;
      // Back to the stored bytes (the engine's decoding round-trips), then the named code page.
      return decoder_->Decode(table_.EncodeText(text, table_.Fields()[field].name));
    } catch (const EngineError& e) {
      std::fprintf(stderr, "tindrel-table: warning: record %u, field %s: %s\n", record.recno,
                   table_.Fields()[field].name.c_str(), e.Message().c_str());
      return {};
    }
  }

  // The value as the CSV form shows it.
  std::string CsvValue(const Record& record, int field) const {
    const FieldDesc& desc = table_.Fields()[field];
    const std::string_view raw = table_.RawField(record, field);
    switch (desc.type) {
      case 'C': return Decode(RightTrim(raw, std::string_view(" \0", 2)));
      case 'N': case 'F': return NumberText(raw);
      case 'D': return DateText(raw);
      case 'L': return LogicalText(raw);
      case 'M': case 'B': case 'G': return MemoText(record, field);
      case 'Y': return CurrencyText(raw);
      case 'T': return DateTimeText(raw);
      case 'I': return raw.size() == 4 ? std::to_string(LittleEndian(raw, 0, 4)) : std::string();
      default: return Decode(raw);
    }
  }

  // The value as the readable form shows it: the engine's own text for everything but
  // character and memo fields under a named encoding.
  std::string PlainValue(const Record& record, int field) const {
    const FieldDesc& desc = table_.Fields()[field];
    if (desc.IsMemo()) return MemoText(record, field);
    if (desc.type == 'C' && decoder_) return Decode(RightTrim(table_.RawField(record, field), " "));
    if (desc.type == 'Y' || desc.type == 'T' || desc.type == 'I') return CsvValue(record, field);
    return table_.GetText(record, field);
  }

 private:
  Table& table_;
  Decoder* decoder_;
};

}  // namespace

int DumpCommand(const Args& args) {
  std::string path;
  std::string encoding;
  bool csv = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--csv") {
      csv = true;
    } else if (args[i] == "--encoding") {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError("--encoding needs a NAME");
      encoding = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      throw UsageError("dump: unknown option '" + args[i] + "'");
    } else if (path.empty()) {
      path = args[i];
    } else {
      throw UsageError("dump takes one TABLE");
    }
  }
  if (path.empty()) throw UsageError("dump needs a TABLE");
  std::unique_ptr<Decoder> decoder;
  if (!encoding.empty()) decoder = std::make_unique<Decoder>(encoding);

  engine::OpenOptions options;
  options.tolerateBadIndex = true;  // the records are read in record order; the index is not needed
  auto table = OpenToRead(path, options);
  for (const std::string& warning : table->Warnings())
    std::fprintf(stderr, "tindrel-table: warning: %s\n", warning.c_str());

  Dumper dumper(*table, decoder.get());
  const auto& fields = table->Fields();
  std::string out;
  auto flush = [&] {
    WriteOut(out);
    out.clear();
  };
  if (csv) {
    for (size_t f = 0; f < fields.size(); ++f) out += (f ? "," : "") + CsvCell(decoder ? decoder->Decode(fields[f].name) : fields[f].name);
    out += "\r\n";
  }
  size_t nameWidth = 0;
  for (const FieldDesc& f : fields) nameWidth = std::max(nameWidth, f.name.size());
  for (uint32_t recno = 1; recno <= table->RecordCount(); ++recno) {
    const Record record = table->ReadRecord(recno);
    if (record.IsDeleted()) continue;
    if (csv) {
      std::string row;
      for (size_t f = 0; f < fields.size(); ++f) row += (f ? "," : "") + CsvCell(dumper.CsvValue(record, static_cast<int>(f)));
      // A row of one empty value is written quoted, so that it is not read as an empty line.
      if (fields.size() == 1 && row.empty()) row = "\"\"";
      out += row + "\r\n";
    } else {
      out += "#" + std::to_string(recno) + "\n";
      for (size_t f = 0; f < fields.size(); ++f) {
        const std::string pad(nameWidth - fields[f].name.size() + 2, ' ');
        std::string value = dumper.PlainValue(record, static_cast<int>(f));
        // Continuation lines of a memo line up under its first line.
        std::string shown;
        for (size_t i = 0; i < value.size(); ++i) {
          if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
          shown += value[i];
          if (value[i] == '\n') shown += std::string(nameWidth + 4, ' ');
        }
        out += "  " + fields[f].name + pad + shown + "\n";
      }
    }
    if (out.size() > (1u << 20)) flush();
  }
  flush();
  std::fflush(stdout);
  return 0;
}

}  // namespace tindrel::tools
