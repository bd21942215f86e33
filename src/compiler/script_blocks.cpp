// What each listed element yields, recorded for editors that show it.
#include "compiler/tavjit_impl.h"

namespace tavjit {

// Takes effect at the next compile, as the lint does.
void CTavJIT::RecordScriptBlocks(bool on) { State().record_blocks = on; }

const std::vector<ScriptBlock>& CTavJIT::ScriptBlocks() const {
  static const std::vector<ScriptBlock> none;
  return impl_ ? impl_->script_blocks : none;
}

void detail::Impl::WatchElements() {
  if (!linter && !record_blocks) {
    script.SetObserver(nullptr, nullptr);
    return;
  }
  script.SetObserver(
      [](void* context, const CElement& element, Place place, std::string_view block,
         ScriptBuilder::ObserverMemo& memo) {
        Impl& self = *static_cast<Impl*>(context);
        if (self.linter) self.linter->Observe(element, place, block, memo);
        if (self.record_blocks)
          self.script_blocks.push_back({place.line, element.ElementName(), std::string(block)});
      },
      this);
}

namespace {

size_t CountLines(std::string_view s) {
  size_t n = 0;
  for (size_t at = s.find("\r\n"); at != std::string_view::npos; at = s.find("\r\n", at + 2)) ++n;
  return n;
}

}  // namespace

// Splicing variables never adds or removes a line break, so the blocks of a
// compiled script are its lines after "Option Explicit", taken block by
// block; if an element's block changed at a later run so that the counts
// no longer agree, the blocks stay as first written.
void detail::Impl::FinishScriptBlocks(bool result) noexcept {
  if (!result || script_blocks.empty()) return;
  constexpr std::string_view kHead = "Option Explicit\r\n";
  std::string_view rest = text;
  if (!rest.starts_with(kHead)) return;
  rest.remove_prefix(kHead.size());
  size_t total = 0;
  for (const ScriptBlock& b : script_blocks) total += CountLines(b.block);
  if (total != CountLines(rest)) return;
  try {
    for (ScriptBlock& b : script_blocks) {
      size_t end = 0;
      for (size_t k = CountLines(b.block); k > 0; --k) end = rest.find("\r\n", end) + 2;
      b.block.assign(rest.substr(0, end));
      rest.remove_prefix(end);
    }
  } catch (...) {
    script_blocks.clear();  // out of memory
  }
}

}  // namespace tavjit
