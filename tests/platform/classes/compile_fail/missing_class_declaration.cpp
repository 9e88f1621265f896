// Must not compile: TBare has no DBV_CLASS of its own, so it would report its base's class
// name and form files would write the wrong class.
#include "classes/component.h"

namespace vcl {
class TBare : public TComponent {
public:
    using TComponent::TComponent;
};
}  // namespace vcl

vcl::TComponent* Make() { return vcl::Create<vcl::TBare>(nullptr); }
