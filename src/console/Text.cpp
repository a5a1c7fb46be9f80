#include "console/Text.h"

std::string Utf8(const TWideString& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    uint32_t C = Text[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[++I] - 0xDC00);
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = 0xFFFD;
    }
    if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (C < 0x800) {
      Out += static_cast<char>(0xC0 | (C >> 6));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
      Out += static_cast<char>(0xE0 | (C >> 12));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else {
      Out += static_cast<char>(0xF0 | (C >> 18));
      Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    }
  }
  return Out;
}

TWideString Utf16(const std::string& Text) {
  TWideString Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size();) {
    const auto Byte = [&](size_t K) { return static_cast<unsigned char>(Text[K]); };
    const unsigned Lead = Byte(I);
    size_t Length = Lead < 0x80 ? 1 : (Lead >> 5) == 0x6 ? 2 : (Lead >> 4) == 0xE ? 3 : (Lead >> 3) == 0x1E ? 4 : 0;
    uint32_t C = Length == 1 ? Lead : Length == 2 ? Lead & 0x1F : Length == 3 ? Lead & 0x0F : Lead & 0x07;
    bool Whole = Length != 0 && I + Length <= Text.size();
    for (size_t K = 1; Whole && K < Length; ++K) {
      Whole = (Byte(I + K) & 0xC0) == 0x80;
      C = (C << 6) | (Byte(I + K) & 0x3F);
    }
    // Overlong forms, surrogates and points past U+10FFFF are no characters.
    static const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!Whole || C < Least[Length] || (C >= 0xD800 && C <= 0xDFFF) || C > 0x10FFFF) {
      Out += static_cast<WCHAR>(0xFFFD);
      ++I;
      continue;
    }
    I += Length;
    if (C < 0x10000) {
      Out += static_cast<WCHAR>(C);
    } else {
      Out += static_cast<WCHAR>(0xD800 + ((C - 0x10000) >> 10));
      Out += static_cast<WCHAR>(0xDC00 + ((C - 0x10000) & 0x3FF));
    }
  }
  return Out;
}

std::string CsvField(const std::string& Text) {
  const bool Quoted = Text.find_first_of(",\"\r\n") != std::string::npos ||
                      (!Text.empty() && (Text.front() == ' ' || Text.back() == ' '));
  if (!Quoted) return Text;
  std::string Out = "\"";
  for (char C : Text) {
    if (C == '"') Out += '"';
    Out += C;
  }
  return Out + "\"";
}

std::string OneLine(const std::string& Text) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  Out.reserve(Text.size());
  for (char C : Text) {
    const auto Byte = static_cast<unsigned char>(C);
    if (Byte >= 0x20 && Byte != 0x7F) {
      Out += C;
    } else if (C == '\r' || C == '\n' || C == '\t') {
      Out += C == '\r' ? "\\r" : C == '\n' ? "\\n" : "\\t";
    } else {
      Out += {'\\', 'x', Hex[Byte >> 4], Hex[Byte & 0xF]};
    }
  }
  return Out;
}

bool ImageNameMatches(const TWideString& Name, const TWideString& Sought) {
  const TWideString Image = UpperCase(Name), Wanted = UpperCase(Sought);
  return Image == Wanted || Image == Wanted + Widen(".EXE");
}
