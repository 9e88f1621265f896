// Event types: method pointers of the platform become std::function; "assigned" means non-empty.
#pragma once
#include <functional>
#include <string>

namespace vcl {

class TObject;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TGenericEvent = std::function<void()>;
// Sender-only events, kept as their own names because callers refer to them by name.
using TComponentDragEvent = std::function<void(TObject* Sender)>;
using TComponentResizeEvent = std::function<void(TObject* Sender)>;
using TGetStrProc = std::function<void(const std::string& S)>;

template <class F>
inline bool Assigned(const std::function<F>& f) { return static_cast<bool>(f); }
template <class T>
inline bool Assigned(const T* p) { return p != nullptr; }

}  // namespace vcl
