// DescribeCatalogue: a catalogue's facts as plain values, for editors.
#include <algorithm>

#include "catalogue/catalogue_json.h"
#include "describe/document_shape.h"
#include "tavjit/catalogue.hpp"

namespace tavjit {

std::optional<CatalogueDescription> DescribeCatalogue(std::string_view catalogue_bytes,
                                                      std::string* error) {
  CElements catalogue;
  if (!LoadCatalogueFileBytes(catalogue_bytes, catalogue, error)) return std::nullopt;
  const shape::Placement placement = shape::PlaceElements(catalogue);
  CatalogueDescription out;
  for (const CElements::Ptr& e : catalogue) {
    ElementDescription d;
    d.name = e->ElementName();
    d.description = e->Description();
    d.information = e->Information();
    if (e == placement.else_element)
      d.place = ElementDescription::Place::InsideIf;
    else if (std::find(placement.steps.begin(), placement.steps.end(), e) == placement.steps.end())
      d.place = ElementDescription::Place::Nowhere;
    d.contains_text = e->ContainsText();
    d.text_required = e->TextRequired();
    d.text_multi_line = e->TextAllowMultiLine();
    d.text_description = e->TextDescription();
    for (const CAttributes::Ptr& a : e->Attributes()) {
      AttributeDescription ad;
      ad.name = a->AttributeName();
      ad.type = a->DataType();
      if (TypeOf(*a) == AttributeType::kChoice) ad.choices = shape::ChoiceValues(*a);
      ad.type_in_words = shape::KindInWords(*a);
      ad.required = a->Required();
      ad.value_when_left_out = shape::ValueWhenLeftOut(*a);
      ad.must_be_written = shape::MustBeWritten(*a);
      ad.description = a->Description();
      d.attributes.push_back(std::move(ad));
    }
    out.elements.push_back(std::move(d));
  }
  for (const shape::HeaderElement& h : shape::kHeaderElements)
    out.header.push_back({std::string(h.name), std::string(h.description),
                          h.name == shape::kHeaderVersion});
  return out;
}

}  // namespace tavjit
