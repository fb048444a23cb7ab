// Windows' wildcard matching (wildcard.h): the pattern turned into an NT
// expression, and FsRtlIsNameInExpression's rules applied to a name.
#include "platform/emulated/files/wildcard.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/emulated/machine/text.h"

namespace emu {
namespace {
// Windows turns the pattern of a search into an NT expression: `?` becomes
// DOS_QM ('>'), `*` before a dot DOS_STAR ('<'), a dot before `?` or `*`
// DOS_DOT ('"'); trailing dots and blanks are dropped by path normalization,
// a dropped trailing dot still turning a `*` before it into DOS_STAR; and
// "*.*" is plain "*".
constexpr char16_t kStar = u'*';
constexpr char16_t kDosStar = u'<';
constexpr char16_t kDosQm = u'>';
constexpr char16_t kDosDot = u'"';

}  // namespace

std::u16string ntExpression(std::u16string_view pattern) {
  const bool endsWithDot = !pattern.empty() && pattern.back() == u'.';
  std::size_t n = pattern.size();
  while (n > 0 && (pattern[n - 1] == u'.' || pattern[n - 1] == u' ')) --n;
  const std::u16string_view kept = pattern.substr(0, n);
  if (kept == u"*.*") return u"*";
  std::u16string out;
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = kept[i];
    const char16_t next = i + 1 < n ? kept[i + 1] : (endsWithDot ? u'.' : u'\0');
    if (c == u'?') {
      out += kDosQm;
    } else if (c == u'*' && next == u'.') {
      out += kDosStar;
    } else if (c == u'.' && (next == u'?' || next == u'*')) {
      out += kDosDot;
    } else {
      out += c;
    }
  }
  return out;
}

namespace {
// FsRtlIsNameInExpression's rules, ignoring case:
//   *  any run of characters;
//   <  any run of characters that does not take the name's last dot;
//   >  one character, or none at a dot or at the end of the name;
//   "  a dot, or nothing at the end of the name.
class Matcher {
 public:
  Matcher(std::u16string_view expr, std::u16string_view name)
      : expr_(expr), name_(name), lastDot_(name.rfind(u'.')),
        memo_((expr.size() + 1) * (name.size() + 1), -1) {}

  bool at(std::size_t e, std::size_t n) {
    std::int8_t& m = memo_[e * (name_.size() + 1) + n];
    if (m < 0) m = compute(e, n) ? 1 : 0;
    return m == 1;
  }

 private:
  bool compute(std::size_t e, std::size_t n) {
    const std::size_t end = name_.size();
    if (e == expr_.size()) return n == end;
    switch (expr_[e]) {
      case kStar:
        for (std::size_t j = n; j <= end; ++j)
          if (at(e + 1, j)) return true;
        return false;
      case kDosStar:
        for (std::size_t j = n; j <= end; ++j) {
          if (at(e + 1, j)) return true;
          if (j < end && name_[j] == u'.' && j == lastDot_) return false;
        }
        return false;
      case kDosQm:
        if (n == end || name_[n] == u'.') return at(e + 1, n);
        return at(e + 1, n + 1);
      case kDosDot:
        if (n == end) return at(e + 1, n);
        return name_[n] == u'.' && at(e + 1, n + 1);
      default:
        return n < end && upcase(name_[n]) == upcase(expr_[e]) && at(e + 1, n + 1);
    }
  }

  std::u16string_view expr_;
  std::u16string_view name_;
  std::size_t lastDot_;
  std::vector<std::int8_t> memo_;
};
}  // namespace

bool hasWildcards(std::u16string_view name) { return name.find_first_of(u"*?") != std::u16string_view::npos; }

bool expressionMatches(std::u16string_view expr, std::u16string_view name) {
  // The literal characters before the first wildcard stand for themselves:
  // a name that does not start with them is rejected without the matcher.
  const bool dots = name == u"." || name == u"..";
  const std::size_t literal = std::min(expr.find_first_of(u"*<>\""), expr.size());
  if (!dots && name.size() < literal) return false;
  for (std::size_t i = 0; !dots && i < literal; ++i)
    if (upcase(expr[i]) != upcase(name[i])) return false;
  if (Matcher(expr, name).at(0, 0)) return true;
  // NTFS reports "." and ".." for every expression made only of wildcards
  // ("?", "*." and "??." list them although neither name fits by the rules).
  if (dots)
    return !expr.empty() && expr.find_first_not_of(u"*<>") == std::u16string::npos;
  return false;
}

bool wildcardMatches(std::u16string_view pattern, std::u16string_view name) {
  return expressionMatches(ntExpression(pattern), name);
}

}  // namespace emu

