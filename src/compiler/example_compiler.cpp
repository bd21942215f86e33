// ExampleCompiler: one compiler, its catalogue put back after each example.
#include "compiler/example_compiler.h"

#include "compiler/tavjit_impl.h"

namespace tavjit {

ExampleCompiler::ExampleCompiler(std::string_view catalogue_bytes)
    : impl_(std::make_unique<detail::Impl>()) {
  impl_->catalogue.LoadBytes(catalogue_bytes);
  impl_->initialised = true;
  for (const CElements::Ptr& def : impl_->catalogue) {
    Saved saved{{}, def->Text()};
    for (const CAttributes::Ptr& a : def->Attributes()) saved.values.push_back(a->Value());
    loaded_.push_back(std::move(saved));
  }
}

ExampleCompiler::~ExampleCompiler() = default;

ExampleCompiler::Result ExampleCompiler::Compile(std::string_view document) {
  impl_->err_msg.clear();
  impl_->text.clear();
  Result r;
  r.ok = impl_->Compile(std::string(document));
  r.text = impl_->text;
  r.errmsg = impl_->err_msg;
  int32_t i = 1;
  for (const Saved& saved : loaded_) {
    const CElements::Ptr& def = impl_->catalogue.Item(i++);
    int32_t j = 1;
    for (const std::string& v : saved.values)
      def->Attributes().Item(j++)->SetValue(std::string_view(v));
    def->SetText(std::string_view(saved.text));
  }
  return r;
}

}  // namespace tavjit
