// Reading and writing back the saved state of machine.toml (saved_state.h).
#include "platform/emulated/machine/saved_state.h"

#include <algorithm>
#include <cstdint>

#include "platform/emulated/machine/text.h"

namespace emu {
namespace {

struct StateName {
  const char* name;
  win::DWORD state;
};
constexpr StateName kStates[] = {
    {"stopped", win::SERVICE_STOPPED},
    {"start_pending", win::SERVICE_START_PENDING},
    {"stop_pending", win::SERVICE_STOP_PENDING},
    {"running", win::SERVICE_RUNNING},
    {"continue_pending", win::SERVICE_CONTINUE_PENDING},
    {"pause_pending", win::SERVICE_PAUSE_PENDING},
    {"paused", win::SERVICE_PAUSED},
};

// A state the machine does not know counts as running.
win::DWORD serviceState(const toml::table& t) {
  const std::string name = t["state"].value_or<std::string>("running");
  for (const auto& st : kStates)
    if (name == st.name) return st.state;
  return win::SERVICE_RUNNING;
}

constexpr int kIdClose = 8;
constexpr int kIdHelp = 9;
struct AnswerName {
  const char* name;
  int id;
};
constexpr AnswerName kAnswers[] = {
    {"IDOK", win::IDOK},         {"IDCANCEL", win::IDCANCEL},     {"IDABORT", win::IDABORT},
    {"IDRETRY", win::IDRETRY},   {"IDIGNORE", win::IDIGNORE},     {"IDYES", win::IDYES},
    {"IDNO", win::IDNO},         {"IDCLOSE", kIdClose},           {"IDHELP", kIdHelp},
    {"IDTRYAGAIN", win::IDTRYAGAIN}, {"IDCONTINUE", win::IDCONTINUE},
};

// An answer is a number, or a name of IDOK ... IDCONTINUE without regard to case.
std::optional<int> answerId(const toml::node& node) {
  if (const auto n = node.value<std::int64_t>()) return static_cast<int>(*n);
  if (const auto s = node.value<std::string>()) {
    for (const auto& a : kAnswers)
      if (equalNoCase(toUtf16(*s), toUtf16(a.name))) return a.id;
  }
  return std::nullopt;
}

win::DWORD code(const toml::table& t, const char* key) {
  return static_cast<win::DWORD>(t[key].value_or<std::int64_t>(0));
}

template <typename Entry>
bool kept(const std::vector<Entry>& entries, std::size_t element) {
  return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.source == element; });
}

// Erases the elements of `list` that no entry was read from any more; with
// `everyNode`, every element, not only tables, stands for an entry.
template <typename Entry>
void eraseGone(toml::array* list, const std::vector<Entry>& entries, bool everyNode) {
  if (!list) return;
  for (std::size_t i = list->size(); i-- > 0;)
    if ((everyNode || (*list)[i].is_table()) && !kept(entries, i)) list->erase(list->begin() + static_cast<std::ptrdiff_t>(i));
}

// Each table of `list` with its position in it.
template <typename Read>
void forEachTable(const toml::array* list, Read read) {
  if (!list) return;
  for (std::size_t i = 0; i < list->size(); ++i)
    if (const toml::table* t = (*list)[i].as_table()) read(*t, i);
}

}  // namespace

const char* serviceStateName(win::DWORD state) {
  for (const auto& st : kStates)
    if (st.state == state) return st.name;
  return "running";
}

SavedState readSavedState(const toml::table& config) {
  SavedState out;
  forEachTable(config["service"].as_array(), [&](const toml::table& t, std::size_t at) {
    Service s;
    s.name = toUtf16(t["name"].value_or<std::string>(""));
    s.state = serviceState(t);
    s.acceptsStop = t["accepts_stop"].value_or(true);
    s.stopsAtOnce = t["stops_at_once"].value_or(true);
    s.openError = code(t, "open_error");
    s.deleteError = code(t, "delete_error");
    s.stopError = code(t, "stop_error");
    s.markedForDeletion = t["marked_for_deletion"].value_or(false);
    s.source = at;
    out.services.push_back(std::move(s));
  });
  forEachTable(config["process"].as_array(), [&](const toml::table& t, std::size_t at) {
    Process p;
    p.pid = static_cast<win::DWORD>(t["pid"].value_or<std::int64_t>(0));
    p.path = toUtf16(t["path"].value_or<std::string>(""));
    p.openable = t["openable"].value_or(true);
    p.endsWhenTerminated = t["ends_when_terminated"].value_or(true);
    p.source = at;
    out.processes.push_back(std::move(p));
  });
  if (const toml::array* list = config["message_boxes"]["answers"].as_array()) {
    for (std::size_t i = 0; i < list->size(); ++i)
      out.answers.push_back({answerId((*list)[i]), (*list)[i].value_or<std::string>("?"), i});
  }
  forEachTable(config["fault"]["file"].as_array(), [&](const toml::table& t, std::size_t at) {
    FileFault f;
    if (const auto text = t["path"].value<std::string>()) f.path = parseWindowsPath(toUtf16(*text));
    f.code = static_cast<win::DWORD>(t["code"].value_or<std::int64_t>(win::ERROR_SHARING_VIOLATION));
    f.attributes = t["attributes"].value_or(true);
    f.untilBoot = t["until_boot"].value_or(false);
    f.source = at;
    out.fileFaults.push_back(std::move(f));
  });
  return out;
}

toml::table withSavedState(const SavedState& state, const toml::table& config) {
  toml::table out = config;
  if (toml::array* services = out["service"].as_array()) {
    for (const Service& s : state.services) {
      toml::table* t = s.source < services->size() ? (*services)[s.source].as_table() : nullptr;
      if (!t) continue;
      if (serviceState(*t) != s.state) t->insert_or_assign("state", serviceStateName(s.state));
      if ((*t)["marked_for_deletion"].value_or(false) != s.markedForDeletion)
        t->insert_or_assign("marked_for_deletion", s.markedForDeletion);
    }
  }
  eraseGone(out["service"].as_array(), state.services, false);
  eraseGone(out["process"].as_array(), state.processes, false);
  eraseGone(out["message_boxes"]["answers"].as_array(), state.answers, true);
  eraseGone(out["fault"]["file"].as_array(), state.fileFaults, false);
  return out;
}

}  // namespace emu
