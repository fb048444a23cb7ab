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
bool kept(const std::vector<Entry>& entries, const void* node) {
  return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.source == node; });
}

// Erases the tables of `list` that no entry was read from any more; with
// `everyNode`, every element, not only tables, stands for an entry.
template <typename Entry>
void eraseGone(toml::array* list, const std::vector<Entry>& entries, bool everyNode) {
  if (!list) return;
  for (auto it = list->begin(); it != list->end();) {
    const void* node = everyNode ? static_cast<const void*>(&*it) : static_cast<const void*>(it->as_table());
    if (node && !kept(entries, node))
      it = list->erase(it);
    else
      ++it;
  }
}

}  // namespace

const char* serviceStateName(win::DWORD state) {
  for (const auto& st : kStates)
    if (st.state == state) return st.name;
  return "running";
}

SavedState readSavedState(const toml::table& config) {
  SavedState out;
  if (const toml::array* list = config["service"].as_array()) {
    for (const auto& node : *list) {
      const toml::table* t = node.as_table();
      if (!t) continue;
      Service s;
      s.name = toUtf16((*t)["name"].value_or<std::string>(""));
      s.state = serviceState(*t);
      s.acceptsStop = (*t)["accepts_stop"].value_or(true);
      s.stopsAtOnce = (*t)["stops_at_once"].value_or(true);
      s.openError = code(*t, "open_error");
      s.deleteError = code(*t, "delete_error");
      s.stopError = code(*t, "stop_error");
      s.markedForDeletion = (*t)["marked_for_deletion"].value_or(false);
      s.source = t;
      out.services.push_back(std::move(s));
    }
  }
  if (const toml::array* list = config["process"].as_array()) {
    for (const auto& node : *list) {
      const toml::table* t = node.as_table();
      if (!t) continue;
      Process p;
      p.pid = static_cast<win::DWORD>((*t)["pid"].value_or<std::int64_t>(0));
      p.path = toUtf16((*t)["path"].value_or<std::string>(""));
      p.openable = (*t)["openable"].value_or(true);
      p.endsWhenTerminated = (*t)["ends_when_terminated"].value_or(true);
      p.source = t;
      out.processes.push_back(std::move(p));
    }
  }
  if (const toml::array* list = config["message_boxes"]["answers"].as_array()) {
    for (const auto& node : *list)
      out.answers.push_back({answerId(node), node.value_or<std::string>("?"), &node});
  }
  return out;
}

void writeSavedState(const SavedState& state, toml::table& config) {
  toml::array* services = config["service"].as_array();
  eraseGone(services, state.services, false);
  if (services) {
    for (auto& node : *services) {
      toml::table* t = node.as_table();
      const auto s = std::find_if(state.services.begin(), state.services.end(),
                                  [&](const Service& e) { return e.source == t; });
      if (!t || s == state.services.end()) continue;
      if (serviceState(*t) != s->state) t->insert_or_assign("state", serviceStateName(s->state));
      if ((*t)["marked_for_deletion"].value_or(false) != s->markedForDeletion)
        t->insert_or_assign("marked_for_deletion", s->markedForDeletion);
    }
  }
  for (const Service& s : state.services) {
    if (!s.fromKey || (s.state == win::SERVICE_STOPPED && !s.markedForDeletion)) continue;
    if (!config["service"].as_array()) config.insert("service", toml::array{});
    toml::table t{{"name", toUtf8(s.name)}, {"state", serviceStateName(s.state)}};
    if (s.markedForDeletion) t.insert("marked_for_deletion", true);
    config["service"].as_array()->push_back(std::move(t));
  }
  eraseGone(config["process"].as_array(), state.processes, false);
  eraseGone(config["message_boxes"]["answers"].as_array(), state.answers, true);
}

}  // namespace emu
