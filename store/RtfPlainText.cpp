#include "store/RtfPlainText.h"

#include <iconv.h>

#include <set>
#include <string>
#include <vector>

namespace tindrel {

bool LooksLikeRtf(const QString& text) { return text.startsWith(QStringLiteral("{\\rtf")); }

namespace {

// Decodes bytes of a Windows code page; bytes that do not convert stay as the character of the
// same number.
QString DecodeCodePage(const std::string& bytes, int codePage) {
  if (bytes.empty()) return {};
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QString out;
  for (unsigned char byte : bytes) {
    char in[1] = {static_cast<char>(byte)};
    char buffer[8];
    char* inPtr = in;
    size_t inLeft = 1;
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
      out += QChar(byte);
    else
      out += QString::fromUtf8(buffer, static_cast<qsizetype>(outPtr - buffer));
  }
  iconv_close(cd);
  return out;
}

bool IsSkippedDestination(const QString& word) {
  static const std::set<QString> words = {
      "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "footer", "headerl",
      "headerr", "headerf", "footerl", "footerr", "footerf", "listtable", "listoverridetable",
      "rsidtbl", "generator", "xmlnstbl", "themedata", "colorschememapping", "datastore",
      "latentstyles", "pgdsctbl", "filetbl", "revtbl", "fldinst", "bkmkstart", "bkmkend"};
  return words.count(word) != 0;
}

struct Group {
  bool skip = false;
  int ucSkip = 1;
};

}  // namespace

QString RtfPlainText(const QString& rtf) {
  // The control syntax is ASCII; characters beyond it are taken as text as they are.
  QString out;
  std::vector<Group> stack{Group{}};
  int codePage = 1252;
  std::string pendingBytes;  // consecutive \'hh bytes, decoded together
  int skipChars = 0;         // fallback characters still to drop after a \uN

  auto flushBytes = [&] {
    if (!pendingBytes.empty()) {
      if (!stack.back().skip) out += DecodeCodePage(pendingBytes, codePage);
      pendingBytes.clear();
    }
  };
  auto put = [&](const QString& text) {
    flushBytes();
    if (skipChars > 0) {
      --skipChars;
      return;
    }
    if (!stack.back().skip) out += text;
  };

  const qsizetype n = rtf.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = rtf[i];
    if (c == u'{') {
      flushBytes();
      skipChars = 0;
      stack.push_back(stack.back());
      ++i;
    } else if (c == u'}') {
      flushBytes();
      skipChars = 0;
      if (stack.size() > 1) stack.pop_back();
      ++i;
    } else if (c == u'\\') {
      ++i;
      if (i >= n) break;
      const QChar d = rtf[i];
      if (d.isLetter() && d.unicode() < 128) {
        qsizetype start = i;
        while (i < n && rtf[i].unicode() < 128 && rtf[i].isLetter()) ++i;
        const QString word = rtf.mid(start, i - start);
        bool hasParam = false;
        long long param = 0;
        bool negative = false;
        if (i < n && rtf[i] == u'-') {
          negative = true;
          ++i;
        }
        qsizetype digits = 0;
        while (i < n && rtf[i].isDigit() && rtf[i].unicode() < 128 && digits < 10) {
          param = param * 10 + (rtf[i].unicode() - '0');
          ++i;
          ++digits;
          hasParam = true;
        }
        while (i < n && rtf[i].isDigit() && rtf[i].unicode() < 128) ++i;  // absurdly long numbers
        if (negative) param = -param;
        if (i < n && rtf[i] == u' ') ++i;

        if (word == u"par" || word == u"line") {
          put(QStringLiteral("\n"));
        } else if (word == u"tab") {
          put(QStringLiteral("\t"));
        } else if (word == u"u" && hasParam) {
          long long code = param < 0 ? param + 65536 : param;
          flushBytes();
          if (skipChars == 0 && !stack.back().skip && code >= 0 && code <= 0x10FFFF) {
            const char32_t cp = static_cast<char32_t>(code);
            out += QString::fromUcs4(&cp, 1);
          }
          skipChars = stack.back().ucSkip;
        } else if (word == u"uc" && hasParam) {
          stack.back().ucSkip = static_cast<int>(param < 0 ? 0 : (param > 16 ? 16 : param));
        } else if (word == u"ansicpg" && hasParam) {
          flushBytes();
          codePage = static_cast<int>(param);
        } else if (IsSkippedDestination(word)) {
          flushBytes();
          stack.back().skip = true;
        }
      } else if (d == u'\'') {
        ++i;
        int value = -1;
        if (i + 1 < n) {
          bool ok = false;
          value = rtf.mid(i, 2).toInt(&ok, 16);
          if (!ok) value = -1;
        }
        if (value >= 0) {
          i += 2;
          if (skipChars > 0) {
            --skipChars;
          } else if (!stack.back().skip) {
            pendingBytes.push_back(static_cast<char>(value));
          }
        }
      } else if (d == u'*') {
        flushBytes();
        stack.back().skip = true;
        ++i;
      } else if (d == u'\\' || d == u'{' || d == u'}') {
        put(QString(d));
        ++i;
      } else if (d == u'~') {
        put(QStringLiteral(" "));
        ++i;
      } else if (d == u'_') {
        put(QStringLiteral("-"));
        ++i;
      } else if (d == u'\r' || d == u'\n') {
        put(QStringLiteral("\n"));
        ++i;
      } else {
        ++i;  // optional hyphen and other control symbols show nothing
      }
    } else if (c == u'\r' || c == u'\n') {
      ++i;
    } else {
      put(QString(c));
      ++i;
    }
  }
  flushBytes();
  return out;
}

}  // namespace tindrel
