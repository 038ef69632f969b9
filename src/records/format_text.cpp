#include "records/format_text.h"

#include "records/run_error.h"

namespace vantorell {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

enum class Tok : std::uint8_t {
  End,
  LParen,
  RParen,
  Comma,
  Period,
  Slash,
  Colon,
  Dollar,
  Star,
  Number,
  Signed,
  Name,
  String,
  Unterminated,
  Bad,
};

struct Token {
  Tok kind = Tok::End;
  Edit name = Edit::X;      // Name
  std::uint64_t value = 0;  // Number; the magnitude of Signed
  bool negative = false;    // Signed
  std::size_t end = 0;      // the scanner's position once the token is consumed
  char looked = ' ';        // the last character the scanner looked at, upper case
  std::string text;         // String
};

bool singleName(char c, Edit& out) {
  switch (c) {
    case 'A': out = Edit::A; return true;
    case 'B': out = Edit::B; return true;
    case 'D': out = Edit::D; return true;
    case 'E': out = Edit::E; return true;
    case 'F': out = Edit::F; return true;
    case 'G': out = Edit::G; return true;
    case 'H': out = Edit::String; return true;  // the parser takes the characters after it
    case 'I': out = Edit::I; return true;
    case 'L': out = Edit::L; return true;
    case 'O': out = Edit::O; return true;
    case 'P': out = Edit::P; return true;
    case 'S': out = Edit::S; return true;
    case 'T': out = Edit::T; return true;
    case 'X': out = Edit::X; return true;
    case 'Z': out = Edit::Z; return true;
    default: return false;
  }
}

bool pairName(char first, char second, Edit& out) {
  switch (first) {
    case 'B':
      if (second == 'N') {
        out = Edit::BN;
        return true;
      }
      if (second == 'Z') {
        out = Edit::BZ;
        return true;
      }
      return false;
    case 'D':
      if (second == 'C') {
        out = Edit::DC;
        return true;
      }
      if (second == 'P') {
        out = Edit::DP;
        return true;
      }
      return false;
    case 'E':
      if (second == 'N') {
        out = Edit::EN;
        return true;
      }
      if (second == 'S') {
        out = Edit::ES;
        return true;
      }
      return false;
    case 'S':
      if (second == 'P') {
        out = Edit::SP;
        return true;
      }
      if (second == 'S') {
        out = Edit::SS;
        return true;
      }
      return false;
    case 'T':
      if (second == 'L') {
        out = Edit::TL;
        return true;
      }
      if (second == 'R') {
        out = Edit::TR;
        return true;
      }
      return false;
    case 'R':
      switch (second) {
        case 'C': out = Edit::RC; return true;
        case 'D': out = Edit::RD; return true;
        case 'N': out = Edit::RN; return true;
        case 'P': out = Edit::RP; return true;
        case 'U': out = Edit::RU; return true;
        case 'Z': out = Edit::RZ; return true;
        default: return false;
      }
    default: return false;
  }
}

// The scanner's position is the number of characters consumed. Blanks and
// tabs are skipped wherever they stand outside strings; a character that is
// only looked at, to see whether a number or a name goes on, stays unconsumed.
struct Scanner {
  std::string_view s;
  std::size_t pos = 0;

  std::size_t skipBlanks(std::size_t i) const {
    while (i < s.size() && isBlank(s[i])) ++i;
    return i;
  }
  // The character at j, or the text's last character when the text ended there.
  char lookedAt(std::size_t j) const {
    if (j < s.size()) return upper(s[j]);
    return s.empty() ? ' ' : upper(s.back());
  }

  void scanDigits(std::size_t i, Token& t) const {
    std::uint64_t v = 0;
    for (;;) {
      auto digit = static_cast<std::uint64_t>(s[i] - '0');
      v = (v > (kFormatNumberCap - digit) / 10) ? kFormatNumberCap : v * 10 + digit;
      t.end = ++i;
      std::size_t j = skipBlanks(i);
      if (j < s.size() && isDigit(s[j])) {
        i = j;
        continue;
      }
      t.looked = lookedAt(j);
      break;
    }
    t.value = v;
  }

  void scanString(std::size_t i, Token& t) const {
    const char quote = s[i];
    for (std::size_t j = i + 1;;) {
      if (j >= s.size() || (s[j] == quote && j + 1 >= s.size())) {
        t.kind = Tok::Unterminated;
        t.end = s.size();
        t.looked = lookedAt(s.size());
        return;
      }
      if (s[j] == quote) {
        if (s[j + 1] == quote) {
          t.text += quote;
          j += 2;
          continue;
        }
        t.kind = Tok::String;
        t.end = j + 1;
        t.looked = upper(s[j + 1]);
        return;
      }
      t.text += s[j++];
    }
  }

  Token peek() const {
    Token t;
    std::size_t i = skipBlanks(pos);
    if (i >= s.size()) {
      t.kind = Tok::End;
      t.end = s.size();
      t.looked = lookedAt(i);
      return t;
    }
    const char c = upper(s[i]);
    t.looked = c;
    t.end = i + 1;
    switch (c) {
      case '(': t.kind = Tok::LParen; return t;
      case ')': t.kind = Tok::RParen; return t;
      case ',': t.kind = Tok::Comma; return t;
      case '.': t.kind = Tok::Period; return t;
      case '/': t.kind = Tok::Slash; return t;
      case ':': t.kind = Tok::Colon; return t;
      case '$': t.kind = Tok::Dollar; return t;
      case '*': t.kind = Tok::Star; return t;
      case '\'':
      case '"': scanString(i, t); return t;
      case '+':
      case '-': {
        std::size_t j = skipBlanks(i + 1);
        if (j < s.size() && isDigit(s[j])) {
          t.kind = Tok::Signed;
          t.negative = c == '-';
          scanDigits(j, t);
        } else {
          t.kind = Tok::Bad;
          t.looked = lookedAt(j);
          if (j >= s.size()) t.end = s.size();
        }
        return t;
      }
      default: break;
    }
    if (isDigit(c)) {
      t.kind = Tok::Number;
      scanDigits(i, t);
      return t;
    }
    if (c == 'B' || c == 'D' || c == 'E' || c == 'S' || c == 'T' || c == 'R') {
      std::size_t j = skipBlanks(i + 1);
      t.looked = lookedAt(j);
      if (j < s.size() && pairName(c, upper(s[j]), t.name)) {
        t.kind = Tok::Name;
        t.end = j + 1;
        return t;
      }
      if (c == 'R') {
        t.kind = Tok::Bad;
        if (j >= s.size()) t.end = s.size();
        return t;
      }
    }
    t.kind = singleName(c, t.name) ? Tok::Name : Tok::Bad;
    return t;
  }
};

bool isName(const Token& t, Edit e) { return t.kind == Tok::Name && t.name == e; }
bool isHollerith(const Token& t) { return isName(t, Edit::String); }

struct Parser {
  int stmt;
  int unit;
  Scanner sc;
  Format& f;

  [[noreturn]] void fail(std::string_view message) { failFormat(stmt, unit, message, sc.s, sc.pos); }
  [[noreturn]] void unexpected(const Token& t) {
    fail("Unexpected element '" + std::string(1, t.looked) + "' in format");
  }

  Token next() {
    Token t = sc.peek();
    sc.pos = t.end;
    if (t.kind == Tok::Unterminated) fail("Unterminated character constant in format");
    return t;
  }

  FormatItem& add(Edit e, std::size_t column) {
    FormatItem& it = f.items.emplace_back();
    it.edit = e;
    it.column = column;
    return it;
  }

  // A number of at least 1 after a descriptor name, else `message`.
  std::uint64_t positive(const char* message) {
    Token t = next();
    if (t.kind != Tok::Number || t.value == 0) fail(message);
    return t.value;
  }

  void dataDescriptor(const Token& name, std::uint64_t repeat) {
    const Edit e = name.name;
    std::uint64_t w = 0, m = 0, d = 0, x = 0;
    bool hasWidth = false, hasM = false, hasE = false;
    switch (e) {
      case Edit::I:
      case Edit::B:
      case Edit::O:
      case Edit::Z:
        w = positive("Positive width required in format");
        hasWidth = true;
        if (sc.peek().kind == Tok::Period) {
          next();
          Token t = next();
          if (t.kind != Tok::Number) fail("Nonnegative width required in format");
          m = t.value;
          hasM = true;
          if (m > w) fail("Minimum digits exceeds field width");
        }
        break;
      case Edit::F:
      case Edit::D:
      case Edit::E:
      case Edit::EN:
      case Edit::ES:
      case Edit::G: {
        Token t = next();
        if (t.kind != Tok::Number) fail("Positive width required in format");
        if (t.value == 0) fail(e == Edit::G ? "Zero width in format descriptor" : "Positive width required in format");
        w = t.value;
        hasWidth = true;
        if (next().kind != Tok::Period) fail("Period required in format");
        t = next();
        if (t.kind != Tok::Number) fail("Nonnegative width required in format");
        d = t.value;
        if (e != Edit::F && e != Edit::D && isName(sc.peek(), Edit::E)) {
          next();
          x = positive("Positive exponent width required in format");
          hasE = true;
        }
        break;
      }
      case Edit::L:
      case Edit::A:
        if (sc.peek().kind == Tok::Number) {
          w = next().value;
          hasWidth = true;
          // L0 is kept: it reads an empty field, which no logical value fits.
          if (w == 0 && e == Edit::A) fail("Zero width in format descriptor");
        }
        break;
      default: break;
    }
    FormatItem& it = add(e, name.end);
    it.repeat = repeat;
    it.w = w;
    it.m = m;
    it.d = d;
    it.e = x;
    it.hasWidth = hasWidth;
    it.hasM = hasM;
    it.hasE = hasE;
  }

  void hollerith(std::uint64_t count) {
    const std::size_t left = sc.s.size() - sc.pos;
    if (count > left) {
      sc.pos = sc.s.size();
      fail("Hollerith constant extends past the end of the format");
    }
    const auto n = static_cast<std::size_t>(count);
    std::string chars(sc.s.substr(sc.pos, n));
    sc.pos += n;
    add(Edit::String, sc.pos).text = std::move(chars);
  }

  void scale(std::int64_t k, std::size_t column) { add(Edit::P, column).k = k; }

  std::int64_t signedValue(const Token& t) {
    auto v = static_cast<std::int64_t>(t.value);
    return t.negative ? -v : v;
  }

  // `open` has been consumed; parses the list and its closing ")".
  void group(std::uint64_t repeat, bool unlimited) {
    const std::size_t open = f.items.size();
    FormatItem& it = add(Edit::GroupOpen, sc.pos);
    it.repeat = repeat;
    it.unlimited = unlimited;
    list(open);
  }

  // Parses one item that begins with `t` (consumed). True for kP, whose
  // follower is restricted.
  bool item(const Token& t) {
    switch (t.kind) {
      case Tok::Number: {
        if (t.value == 0) {
          Token u = next();
          if (!isName(u, Edit::P)) fail("Expected P edit descriptor in format");
          scale(0, u.end);
          return true;
        }
        Token u = next();
        if (u.kind == Tok::LParen) {
          group(t.value, false);
          return false;
        }
        if (u.kind == Tok::Slash) {
          add(Edit::Slash, u.end).repeat = t.value;
          return false;
        }
        if (u.kind == Tok::Name) {
          if (u.name == Edit::X) {
            add(Edit::X, u.end).n = t.value;
            return false;
          }
          if (u.name == Edit::P) {
            scale(static_cast<std::int64_t>(t.value), u.end);
            return true;
          }
          if (isHollerith(u)) {
            hollerith(t.value);
            return false;
          }
          if (isDataEdit(u.name)) {
            dataDescriptor(u, t.value);
            return false;
          }
        }
        unexpected(u);
      }
      case Tok::Signed: {
        Token u = next();
        if (!isName(u, Edit::P)) fail("Expected P edit descriptor in format");
        scale(signedValue(t), u.end);
        return true;
      }
      case Tok::LParen: group(1, false); return false;
      case Tok::Star: {
        if (next().kind != Tok::LParen) fail("Left parenthesis required after '*'");
        const std::size_t open = f.items.size();
        group(1, true);
        bool data = false;
        for (std::size_t i = open; i < f.items.size(); ++i) data = data || isDataEdit(f.items[i].edit);
        if (!data) fail("'*' requires at least one associated data descriptor");
        return false;
      }
      case Tok::Slash: add(Edit::Slash, t.end); return false;
      case Tok::Colon: add(Edit::Colon, t.end); return false;
      case Tok::Dollar: add(Edit::Dollar, t.end); return false;
      case Tok::String: add(Edit::String, t.end).text = t.text; return false;
      case Tok::Name:
        switch (t.name) {
          case Edit::P: fail("P descriptor requires leading scale factor");
          case Edit::String: hollerith(1); return false;
          case Edit::X: add(Edit::X, t.end).n = 1; return false;
          case Edit::T:
          case Edit::TL:
          case Edit::TR: {
            std::uint64_t n = positive("Positive width required in format");
            add(t.name, t.end).n = n;
            return false;
          }
          default:
            if (isDataEdit(t.name)) {
              dataDescriptor(t, 1);
            } else {
              add(t.name, t.end);
            }
            return false;
        }
      default: unexpected(t);
    }
  }

  // The items of the group opened at items[open], up to its ")".
  void list(std::size_t open) {
    bool afterOpen = true, afterComma = false, afterScale = false;
    for (;;) {
      if (afterScale) {
        afterScale = false;
        Token t = sc.peek();
        bool allowed = t.kind == Tok::Comma || t.kind == Tok::Slash || t.kind == Tok::RParen || t.kind == Tok::Number ||
                       t.kind == Tok::Signed ||
                       (t.kind == Tok::Name && (t.name == Edit::F || t.name == Edit::E || t.name == Edit::EN ||
                                                t.name == Edit::ES || t.name == Edit::G || t.name == Edit::D));
        if (!allowed) {
          next();
          if (t.kind == Tok::End) fail("Unexpected end of format string");
          fail("Comma required after P descriptor");
        }
      }
      Token t = next();
      switch (t.kind) {
        case Tok::RParen: {
          const std::size_t close = f.items.size();
          add(Edit::GroupClose, t.end).partner = open;
          f.items[open].partner = close;
          return;
        }
        case Tok::Comma:
          if (afterOpen || afterComma) unexpected(t);
          afterComma = true;
          continue;
        case Tok::End: fail("Unexpected end of format string");
        default: afterScale = item(t); afterOpen = afterComma = false;
      }
    }
  }
};

}  // namespace

std::string formatErrorMessage(std::string_view message, std::string_view text, std::size_t column) {
  std::string out;
  out.reserve(message.size() + text.size() + column + 3);
  out.append(message).append(1, '\n').append(text).append(1, '\n');
  out.append(column > 1 ? column - 1 : 0, ' ').append(1, '^');
  return out;
}

void failFormat(int stmt, int unit, std::string_view message, std::string_view text, std::size_t column) {
  failStatement(stmt, unit, formatErrorMessage(message, text, column));
}

Format parseFormat(int stmt, int unit, std::string_view text) {
  Format f;
  f.text.assign(text);
  Parser parser{stmt, unit, Scanner{text, 0}, f};

  Token first = parser.sc.peek();
  parser.sc.pos = first.end;
  if (first.kind != Tok::LParen) parser.fail("Missing initial left parenthesis in format");
  parser.group(1, false);

  // Reversion resumes at the last group directly inside the outermost
  // parentheses, or at the start when they hold none.
  const std::size_t close = f.items.size() - 1;
  std::size_t resume = 1;
  for (std::size_t i = 1; i < close;) {
    if (f.items[i].edit == Edit::GroupOpen) {
      resume = i;
      i = f.items[i].partner + 1;
    } else {
      ++i;
    }
  }
  f.resumeAt = resume;
  f.nothingAfterResume = true;
  for (std::size_t i = resume; i < close; ++i) {
    const Edit e = f.items[i].edit;
    if (e != Edit::GroupOpen && e != Edit::GroupClose) f.nothingAfterResume = false;
    if (e == Edit::T || e == Edit::TL) f.movesBack = true;
  }
  for (std::size_t i = 1; i < resume; ++i) {
    if (f.items[i].edit == Edit::T || f.items[i].edit == Edit::TL) f.movesBack = true;
  }
  return f;
}

}  // namespace vantorell
