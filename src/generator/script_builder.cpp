// ScriptBuilder: each element checked and translated once, the script put
// together once.
#include "generator/script_builder.h"

#include <algorithm>

#include "generator/attribute_check.h"
#include "generator/splice.h"
#include "generator/vocabulary.h"
#include "support/memory.h"
#include "support/text.h"

namespace tavjit {

namespace {

// A check can change a value again only where it emptied a required number
// (a reference with an empty name): the next check fills in the default.
bool MayChangeAgain(const CElement& e) {
  for (const auto& a : e.Attributes())
    if (TypeOf(*a) == AttributeType::kNumber && a->Required() && a->Value().empty()) return true;
  return false;
}

// A working copy serves its definition while the two agree on everything a
// check or a line reads but the values and the text.
bool SameShape(const CElement& copy, const CElement& def) {
  const CAttributes& a = copy.Attributes();
  const CAttributes& b = def.Attributes();
  if (copy.ElementName() != def.ElementName() || a.Count() != b.Count()) return false;
  for (int32_t i = 1; i <= a.Count(); ++i) {
    const CAttribute& x = *a.Item(i);
    const CAttribute& y = *b.Item(i);
    if (x.AttributeName() != y.AttributeName() || x.DataType() != y.DataType() ||
        x.Required() != y.Required() || x.ArrayValues() != y.ArrayValues() ||
        !(x.DefaultValue() == y.DefaultValue()))
      return false;
  }
  return true;
}

}  // namespace

void ScriptBuilder::ForgetDefinitions() {
  slots_.clear();
  recent_slots_.fill({});
}

void ScriptBuilder::Reset(size_t size_hint) {
  // A definition at an address seen before is checked again before use.
  if (++compile_ == 0) ForgetDefinitions();
  recent_slots_.fill({});
  count_ = 0;
  raw_.clear();
  if (size_hint == 0) raw_.shrink_to_fit();
  raw_.reserve(size_hint + size_hint / 4);  // a script is a little longer than its document
  AdviseHugePages(raw_.data(), raw_.capacity());
  exact_from_ = SIZE_MAX;
  exact_raw_ = 0;
  block_end_.clear();
  decls_.clear();
  unsettled_.clear();
  failure_.reset();
  stopped_ = false;
  completed_.reset();
  runs_ = 0;
}

ScriptBuilder::Slot& ScriptBuilder::SlotFor(const CElement& definition) {
  auto& recent =
      recent_slots_[(reinterpret_cast<uintptr_t>(&definition) * 0x9E3779B97F4A7C15ull) >> 58];
  if (recent.first == &definition) return *recent.second;
  Slot& slot = slots_[&definition];
  recent = {&definition, &slot};
  if (slot.checked == compile_) return slot;
  if (!slot.scratch || !SameShape(*slot.scratch, definition)) {
    // Listing an element overwrites this copy's values rather than copying
    // the whole record with its attribute collection.
    CElements holder;
    holder.AddObject(definition, "K");
    slot.scratch = holder.Item(1);
    slot.row = branches::FindRow(definition.ElementName());
    slot.memo = {};
  }
  slot.checked = compile_;
  return slot;
}

// The block goes straight after what out holds; the guard's head is put in
// front of the line once the line shows that it needs one.
bool ScriptBuilder::Translate(CElement& element, const branches::BranchRow* row, Place place,
                              std::string* out, std::optional<Declaration>* decl, size_t index) {
  std::optional<std::string> message;  // none when a value could not be examined
  const CAttribute* failed = nullptr;
  if (const CheckResult result = CheckAttribs(
          element, [&](const std::string& msg, const CElement&) { message = msg; }, &failed);
      result != CheckResult::kAccepted) {
    failure_ =
        Failure{message, place, failed ? ExplainValue(*failed, element, result) : std::string()};
    return false;
  }
  CVariables declared;
  const size_t start = out->size();
  if (row) row->AppendLine(element, declared, out);
  if (ContainsNoCase(std::string_view(*out).substr(start), kActiveDocument)) {
    out->insert(start, kGuardHead);
    out->append(kGuardTail);
  } else {
    out->append(kCrLf);
  }
  decl->reset();
  if (declared.Count() == 1)
    *decl = Declaration{index, declared.Item(1)->VarName(), declared.Item(1)->IsObject()};
  return true;
}

void ScriptBuilder::Add(const CElement& definition, Place place) {
  if (stopped_) return;
  const size_t index = count_++;
  Slot& slot = SlotFor(definition);
  CElement& element = *slot.scratch;
  const CAttributes& def_attrs = definition.Attributes();
  for (int32_t i = 1; i <= def_attrs.Count(); ++i)
    element.Attributes().Item(i)->SetValue(std::string_view(def_attrs.Item(i)->Value()));
  element.SetText(std::string_view(definition.Text()));

  const size_t start = raw_.size();
  std::optional<Declaration> decl;
  if (!Translate(element, slot.row, place, &raw_, &decl, index)) {
    stopped_ = true;  // every later run fails here or before
    return;
  }
  if (observer_)
    observer_(observer_context_, element, place, std::string_view(raw_).substr(start), slot.memo);
  const bool unsettled = MayChangeAgain(element);
  if (exact_from_ == SIZE_MAX && (unsettled || (decl && !IsPlainName(decl->name)))) {
    exact_from_ = index;
    exact_raw_ = start;
  }
  if (unsettled) {
    CElements holder;
    holder.AddObject(element, "K");
    unsettled_.push_back(Unsettled{index, place, start, holder.Item(1), slot.row, {},
                                   raw_.substr(start), std::nullopt, std::move(decl), true});
    raw_.resize(start);
  } else if (decl) {
    decls_.push_back(std::move(*decl));
  }
  if (exact_from_ != SIZE_MAX) block_end_.push_back(raw_.size());
}

bool ScriptBuilder::Run() {
  bool ok = true;
  for (Unsettled& u : unsettled_) {
    if (u.fresh) break;  // fresh ones are all at the end
    u.pending_block.clear();
    if (!Translate(*u.element, u.row, u.place, &u.pending_block, &u.pending_decl, u.index)) {
      ok = false;
      break;
    }
  }
  if (!ok || failure_) {
    report_(*failure_);
    return false;
  }
  for (Unsettled& u : unsettled_) {
    u.block = u.pending_block;
    u.decl = u.pending_decl;
    u.fresh = false;
  }
  completed_ = Completed{count_, raw_.size(), unsettled_.size()};
  ++runs_;
  return true;
}

std::string ScriptBuilder::Assemble(const Completed& c) const {
  std::string out;
  out.reserve(c.raw_size + 64);
  size_t from = 0;
  for (size_t k = 0; k < c.unsettled; ++k) {
    const Unsettled& u = unsettled_[k];
    out.append(raw_, from, u.raw_pos - from);
    out.append(u.block);
    from = u.raw_pos;
  }
  out.append(raw_, from, c.raw_size - from);
  return out;
}

std::vector<const ScriptBuilder::Declaration*> ScriptBuilder::CoveredDeclarations(
    const Completed& c) const {
  std::vector<const Declaration*> decls;
  for (const Declaration& d : decls_)
    if (d.index < c.count) decls.push_back(&d);
  for (size_t k = 0; k < c.unsettled; ++k)
    if (unsettled_[k].decl) decls.push_back(&*unsettled_[k].decl);
  std::stable_sort(decls.begin(), decls.end(),
                   [](const Declaration* a, const Declaration* b) { return a->index < b->index; });
  return decls;
}

// The first of a name stays.
CVariables ScriptBuilder::VariablesOf(const std::vector<const Declaration*>& decls) {
  CVariables variables;
  for (const auto* d : decls) variables.TryAdd(d->name, d->is_object);
  return variables;
}

std::string ScriptBuilder::TakeScript() {
  if (!completed_) return {};
  const Completed& c = *completed_;
  const std::vector<const Declaration*> decls = CoveredDeclarations(c);
  const CVariables variables = VariablesOf(decls);
  // Leading spaces are trimmed from the script; no reference starts with
  // one, so they can go before the splicing.
  if (c.unsettled == 0) {
    // The usual case: the script is made in the buffer of the blocks.
    const std::string_view covered(raw_.data(), c.raw_size);
    const size_t lead = std::min(covered.find_first_not_of(' '), covered.size());
    SplicePlan plan;
    if (plan.Make(covered.substr(lead), variables) && plan.FitsInPlace(kScriptHead)) {
      raw_.resize(c.raw_size);
      raw_.erase(0, lead);
      if (!raw_.empty()) plan.ApplyInPlace(&raw_, kScriptHead);
      std::string script = std::move(raw_);
      raw_.clear();
      return script;
    }
  }
  return BuildScript(c, decls, variables);
}

std::string ScriptBuilder::Script() const {
  if (!completed_) return {};
  const std::vector<const Declaration*> decls = CoveredDeclarations(*completed_);
  return BuildScript(*completed_, decls, VariablesOf(decls));
}

std::string ScriptBuilder::BuildScript(const Completed& c,
                                       const std::vector<const Declaration*>& decls,
                                       const CVariables& variables) const {
  std::string assembled;
  std::string_view whole;
  if (c.unsettled == 0) {
    whole = std::string_view(raw_).substr(0, c.raw_size);
  } else {
    assembled = Assemble(c);
    whole = assembled;
  }
  whole = whole.substr(std::min(whole.find_first_not_of(' '), whole.size()));
  std::string script;
  if (!whole.empty()) script = kScriptHead;
  if (SpliceVariablesOnce(whole, variables, &script)) return script;

  // Names that could make substitutions interact: splice after every
  // element, exactly as the direct algorithm does. Before the first such
  // name every name is plain, and one pass gives the same.
  script.clear();
  CVariables so_far;
  size_t next_decl = 0, next_unsettled = 0;
  const size_t exact = std::min(exact_from_, c.count);
  while (next_decl < decls.size() && decls[next_decl]->index < exact) {
    so_far.TryAdd(decls[next_decl]->name, decls[next_decl]->is_object);
    ++next_decl;
  }
  uint64_t from = exact == c.count ? c.raw_size : exact_raw_;
  const std::string_view prefix = std::string_view(raw_).substr(0, from);
  SpliceVariablesOnce(prefix.substr(std::min(prefix.find_first_not_of(' '), prefix.size())),
                      so_far, &script);
  for (size_t i = exact; i < c.count; ++i) {
    while (next_decl < decls.size() && decls[next_decl]->index == i) {
      so_far.TryAdd(decls[next_decl]->name, decls[next_decl]->is_object);
      ++next_decl;
    }
    const uint64_t end = block_end_[i - exact_from_];
    if (next_unsettled < c.unsettled && unsettled_[next_unsettled].index == i) {
      script += unsettled_[next_unsettled++].block;
    } else {
      script.append(raw_, from, end - from);
    }
    from = end;
    script = FixVariables(script, so_far);
  }
  if (!script.empty()) script.insert(0, kScriptHead);
  return script;
}

}  // namespace tavjit
