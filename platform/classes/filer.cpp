#include "classes/filer.h"

#include <cmath>
#include <cstring>

#include "classes/collection.h"
#include "classes/component.h"
#include "classes/rtti.h"
#include "classes/streams.h"
#include "rtl/sysutils.h"

namespace vcl {

// ---- the parsed form ----
struct TPropAssign;

struct TFormValue {
    TValueType type = vaNull;
    int64_t i = 0;
    double f = 0;
    std::string s;                              // string, identifier, binary bytes
    std::vector<TFormValue> items;              // list items; set members as identifiers
    std::vector<std::vector<TPropAssign>> collection;
    int line = 0;
};

struct TPropAssign {
    std::string name;
    TFormValue value;
    int line = 0;
};

struct TFormObject {
    std::string name, className;
    std::vector<TPropAssign> props;
    std::vector<TFormObject> children;
    int line = 0;
};

namespace {

const char* KindName(TValueType t) {
    switch (t) {
        case vaNull: return "the end of the list";
        case vaList: return "a list";
        case vaInteger: return "an integer";
        case vaFloat: return "a float";
        case vaString: return "a string";
        case vaIdent: return "an identifier";
        case vaFalse:
        case vaTrue: return "a Boolean";
        case vaBinary: return "binary data";
        case vaSet: return "a set";
        case vaNil: return "nil";
        case vaCollection: return "a collection";
    }
    return "a value";
}

// ---- tokenizer and parser of the text format ----
class TParser {
public:
    explicit TParser(const std::string& text) : t_(text) {}

    TFormObject ParseRoot() {
        SkipBlank();
        TFormObject o = ParseObject();
        SkipBlank();
        if (p_ < t_.size()) Fail("Text after the end of the form");
        return o;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EReadError(Format("Error reading form (line %d): %s", line_, what.c_str()));
    }

    void SkipBlank() {
        while (p_ < t_.size()) {
            char c = t_[p_];
            if (c == '\n') {
                ++line_;
                ++p_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++p_;
            } else if (c == '/' && p_ + 1 < t_.size() && t_[p_ + 1] == '/') {
                while (p_ < t_.size() && t_[p_] != '\n') ++p_;
            } else {
                break;
            }
        }
    }

    bool AtEnd() { SkipBlank(); return p_ >= t_.size(); }
    char Peek() { SkipBlank(); return p_ < t_.size() ? t_[p_] : '\0'; }

    static bool IdentStart(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    }
    static bool IdentChar(char c) { return IdentStart(c) || (c >= '0' && c <= '9'); }

    std::string Ident(bool dotted) {
        SkipBlank();
        if (p_ >= t_.size() || !IdentStart(t_[p_])) Fail("Identifier expected");
        size_t start = p_;
        while (p_ < t_.size() && (IdentChar(t_[p_]) || (dotted && t_[p_] == '.'))) ++p_;
        return t_.substr(start, p_ - start);
    }

    void Expect(char c) {
        if (Peek() != c) Fail(Format("'%c' expected", c));
        ++p_;
    }

    bool PeekWord(const char* w) {
        SkipBlank();
        size_t n = std::strlen(w);
        if (p_ + n > t_.size()) return false;
        if (CompareText(std::string_view(t_).substr(p_, n), w) != 0) return false;
        return p_ + n == t_.size() || !IdentChar(t_[p_ + n]);
    }

    TFormObject ParseObject() {
        TFormObject o;
        o.line = line_;
        if (!PeekWord("object") && !PeekWord("inherited") && !PeekWord("inline"))
            Fail("'object' expected");
        Ident(false);
        std::string first = Ident(false);
        if (Peek() == ':') {
            ++p_;
            o.name = first;
            o.className = Ident(false);
        } else {
            o.className = first;
        }
        if (Peek() == '[') {  // an order index, accepted and ignored
            ++p_;
            ParseNumber();
            Expect(']');
        }
        for (;;) {
            if (AtEnd()) Fail("'end' expected");
            if (PeekWord("end")) {
                Ident(false);
                break;
            }
            if (PeekWord("object") || PeekWord("inherited") || PeekWord("inline")) {
                o.children.push_back(ParseObject());
                continue;
            }
            o.props.push_back(ParseAssign());
        }
        return o;
    }

    TPropAssign ParseAssign() {
        TPropAssign a;
        a.line = line_;
        a.name = Ident(true);
        Expect('=');
        a.value = ParseValue();
        return a;
    }

    TFormValue ParseNumber() {
        TFormValue v;
        v.line = line_;
        SkipBlank();
        size_t start = p_;
        if (p_ < t_.size() && (t_[p_] == '-' || t_[p_] == '+')) ++p_;
        if (p_ < t_.size() && t_[p_] == '$') {
            ++p_;
            size_t hs = p_;
            while (p_ < t_.size() && std::isxdigit(static_cast<unsigned char>(t_[p_]))) ++p_;
            if (hs == p_ || p_ - hs > 16) Fail("Invalid hexadecimal number");
            uint64_t u = std::stoull(t_.substr(hs, p_ - hs), nullptr, 16);
            v.type = vaInteger;
            v.i = t_[start] == '-' ? -int64_t(u) : int64_t(u);
            return v;
        }
        bool isFloat = false;
        while (p_ < t_.size()) {
            char c = t_[p_];
            if (c >= '0' && c <= '9') {
                ++p_;
            } else if (c == '.' || c == 'e' || c == 'E') {
                isFloat = true;
                ++p_;
                if ((c == 'e' || c == 'E') && p_ < t_.size() && (t_[p_] == '-' || t_[p_] == '+'))
                    ++p_;
            } else {
                break;
            }
        }
        std::string num = t_.substr(start, p_ - start);
        if (num.empty() || num == "-" || num == "+") Fail("Number expected");
        if (isFloat) {
            double d;
            if (!TryStrToFloat(num, d)) Fail(Format("Invalid number %s", num.c_str()));
            v.type = vaFloat;
            v.f = d;
        } else {
            long long n;
            if (!TryStrToInt64(num, n)) Fail(Format("Invalid number %s", num.c_str()));
            v.type = vaInteger;
            v.i = n;
        }
        return v;
    }

    // 'text' pieces, #nn character codes and '+' continuations make one string.
    std::string ParseStringPieces() {
        std::string out;
        for (;;) {
            char c = Peek();
            if (c == '\'') {
                ++p_;
                for (;;) {
                    if (p_ >= t_.size() || t_[p_] == '\n') Fail("Unterminated string");
                    if (t_[p_] == '\'') {
                        if (p_ + 1 < t_.size() && t_[p_ + 1] == '\'') {
                            out += '\'';
                            p_ += 2;
                            continue;
                        }
                        ++p_;
                        break;
                    }
                    out += t_[p_++];
                }
            } else if (c == '#') {
                ++p_;
                size_t s = p_;
                while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
                if (s == p_ || p_ - s > 3) Fail("Invalid character code");
                int code = std::stoi(t_.substr(s, p_ - s));
                if (code > 255) Fail("Invalid character code");
                out += char(code);
            } else {
                break;
            }
            // Pieces written together ('a'#13#10'b') join; so does a '+', possibly before a
            // line break.
            if (p_ < t_.size() && (t_[p_] == '\'' || t_[p_] == '#')) continue;
            size_t save = p_;
            int saveLine = line_;
            if (Peek() == '+') {
                ++p_;
                char n = Peek();
                if (n == '\'' || n == '#') continue;
            }
            p_ = save;
            line_ = saveLine;
            break;
        }
        return out;
    }

    TFormValue ParseValue() {
        TFormValue v;
        char c = Peek();
        v.line = line_;
        if (c == '\'' || c == '#') {
            v.type = vaString;
            v.s = ParseStringPieces();
        } else if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '$') {
            v = ParseNumber();
        } else if (c == '(') {
            ++p_;
            v.type = vaList;
            while (Peek() != ')') {
                if (AtEnd()) Fail("')' expected");
                v.items.push_back(ParseValue());
            }
            ++p_;
        } else if (c == '[') {
            ++p_;
            v.type = vaSet;
            while (Peek() != ']') {
                if (AtEnd()) Fail("']' expected");
                TFormValue m;
                m.type = vaIdent;
                m.line = line_;
                m.s = Ident(false);
                v.items.push_back(m);
                if (Peek() == ',') ++p_;
                else if (Peek() != ']') Fail("',' or ']' expected");
            }
            ++p_;
        } else if (c == '<') {
            ++p_;
            v.type = vaCollection;
            while (Peek() != '>') {
                if (AtEnd()) Fail("'>' expected");
                if (!PeekWord("item")) Fail("'item' expected");
                Ident(false);
                if (Peek() == '[') {  // item index, ignored
                    ++p_;
                    ParseNumber();
                    Expect(']');
                }
                std::vector<TPropAssign> props;
                for (;;) {
                    if (AtEnd()) Fail("'end' expected");
                    if (PeekWord("end")) {
                        Ident(false);
                        break;
                    }
                    props.push_back(ParseAssign());
                }
                v.collection.push_back(std::move(props));
            }
            ++p_;
        } else if (c == '{') {
            ++p_;
            v.type = vaBinary;
            std::string hex;
            for (;;) {
                char h = Peek();
                if (h == '}') {
                    ++p_;
                    break;
                }
                if (!std::isxdigit(static_cast<unsigned char>(h))) Fail("'}' expected");
                hex += h;
                ++p_;
            }
            if (hex.size() % 2) Fail("Odd number of hexadecimal digits");
            v.s.reserve(hex.size() / 2);
            for (size_t k = 0; k < hex.size(); k += 2)
                v.s += char(std::stoi(hex.substr(k, 2), nullptr, 16));
        } else if (IdentStart(c)) {
            std::string id = Ident(true);
            if (SameText(id, "True")) {
                v.type = vaTrue;
            } else if (SameText(id, "False")) {
                v.type = vaFalse;
            } else if (SameText(id, "nil")) {
                v.type = vaNil;
            } else {
                v.type = vaIdent;
                v.s = id;
            }
        } else {
            Fail("Value expected");
        }
        return v;
    }

    const std::string& t_;
    size_t p_ = 0;
    int line_ = 1;
};

// ---- text output ----
std::string QuoteText(const std::string& s) {
    if (s.empty()) return "''";
    std::string out;
    bool inQuote = false;
    for (unsigned char c : s) {
        if (c < 32 || c == 127) {
            if (inQuote) {
                out += '\'';
                inQuote = false;
            }
            out += '#' + std::to_string(int(c));
        } else {
            if (!inQuote) {
                out += '\'';
                inQuote = true;
            }
            if (c == '\'') out += '\'';
            out += char(c);
        }
    }
    if (inQuote) out += '\'';
    return out;
}

std::string FloatText(double d) {
    if (!std::isfinite(d)) throw EWriteError("A float value that is not finite cannot be written");
    char buf[64];
    for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    std::string s = buf;
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return s;
}

void FormatValue(const TFormValue& v, int indent, std::string& out);

void FormatAssigns(const std::vector<TPropAssign>& props, int indent, std::string& out) {
    for (const TPropAssign& a : props) {
        out.append(size_t(indent), ' ');
        out += a.name + " = ";
        FormatValue(a.value, indent, out);
        out += '\n';
    }
}

// Writes v with the current line already holding "Name = "; nested lines are indented past
// 'indent'.
void FormatValue(const TFormValue& v, int indent, std::string& out) {
    std::string pad(size_t(indent + 2), ' ');
    switch (v.type) {
        case vaInteger: out += std::to_string(v.i); break;
        case vaFloat: out += FloatText(v.f); break;
        case vaString: out += QuoteText(v.s); break;
        case vaIdent: out += v.s; break;
        case vaTrue: out += "True"; break;
        case vaFalse: out += "False"; break;
        case vaNil: out += "nil"; break;
        case vaNull: break;
        case vaSet: {
            out += '[';
            for (size_t k = 0; k < v.items.size(); ++k) {
                if (k) out += ", ";
                out += v.items[k].s;
            }
            out += ']';
            break;
        }
        case vaList: {
            if (v.items.empty()) {
                out += "()";
                break;
            }
            out += '(';
            for (const TFormValue& item : v.items) {
                out += '\n' + pad;
                FormatValue(item, indent + 2, out);
            }
            out += ')';
            break;
        }
        case vaCollection: {
            out += '<';
            for (const auto& item : v.collection) {
                out += '\n' + pad + "item\n";
                FormatAssigns(item, indent + 4, out);
                out += pad + "end";
            }
            out += '>';
            break;
        }
        case vaBinary: {
            static const char* hex = "0123456789ABCDEF";
            out += '{';
            for (size_t k = 0; k < v.s.size(); ++k) {
                if (k % 32 == 0) out += '\n' + pad;
                unsigned char c = static_cast<unsigned char>(v.s[k]);
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            out += '}';
            break;
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TReader

struct TReader::Impl {
    TFormObject form;
    // The value cursor for defined properties: a stack of (list, position).
    struct Frame {
        const std::vector<TFormValue>* items;
        size_t pos;
    };
    std::vector<Frame> stack;
    std::vector<TFormValue> topHolder;
    std::string context;  // "Grid1.VantorColumnsList" for messages
    int line = 0;
    // While DefineProperties runs for one wanted property.
    std::string wantedName;
    const TFormValue* wantedValue = nullptr;
    bool definedFound = false;

    struct Fixup {
        TObject* instance;
        const TPropInfo* prop;
        std::string name;
        int line;
        std::string context;
    };
    std::vector<Fixup> fixups;
    std::vector<TComponent*> loaded;
    TComponent* root = nullptr;

    [[noreturn]] void Fail(const std::string& what) const {
        throw EReadError(
            Format("Error reading %s (line %d): %s", context.c_str(), line, what.c_str()));
    }

    const TFormValue* Current() const {
        if (stack.empty()) return nullptr;
        const Frame& f = stack.back();
        return f.pos < f.items->size() ? &(*f.items)[f.pos] : nullptr;
    }

    const TFormValue& Take(TValueType want, const char* wantText) {
        const TFormValue* v = Current();
        if (!v) Fail(Format("Invalid property value: expected %s, found the end of the list", wantText));
        line = v->line;
        if (v->type != want && !(want == vaTrue && v->type == vaFalse))
            Fail(Format("Invalid property value: expected %s, found %s", wantText,
                        KindName(v->type)));
        line = v->line;
        ++stack.back().pos;
        return *v;
    }
};

TReader::TReader(const std::string& text) : impl_(std::make_unique<Impl>()) {
    TParser parser(text);
    impl_->form = parser.ParseRoot();
}

TReader::~TReader() = default;

void TReader::DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                             const TWriterProc&, bool) {
    Impl& m = *impl_;
    if (m.definedFound || !m.wantedValue || !SameText(Name, m.wantedName)) return;
    m.definedFound = true;
    if (!ReadData) return;
    m.topHolder.assign(1, *m.wantedValue);
    m.stack.assign(1, Impl::Frame{&m.topHolder, 0});
    ReadData(*this);
    if (m.stack.size() != 1 || m.stack.back().pos != 1)
        m.Fail("Invalid property value: not every value was read");
    m.stack.clear();
}

void TReader::DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                   const TStreamProc&, bool) {
    Impl& m = *impl_;
    if (m.definedFound || !m.wantedValue || !SameText(Name, m.wantedName)) return;
    m.definedFound = true;
    if (m.wantedValue->type != vaBinary)
        m.Fail(Format("Invalid property value: expected binary data, found %s",
                      KindName(m.wantedValue->type)));
    if (!ReadData) return;
    TMemoryStream s;
    s.WriteString(m.wantedValue->s);
    s.SetPosition(0);
    ReadData(s);
}

TValueType TReader::NextValue() const {
    const TFormValue* v = impl_->Current();
    return v ? v->type : vaNull;
}

void TReader::ReadListBegin() {
    const TFormValue& v = impl_->Take(vaList, "a list");
    impl_->stack.push_back(Impl::Frame{&v.items, 0});
}

bool TReader::EndOfList() const {
    return impl_->Current() == nullptr;
}

void TReader::ReadListEnd() {
    Impl& m = *impl_;
    if (m.stack.size() < 2) m.Fail("Invalid property value: no list is open");
    if (m.Current()) m.Fail("Invalid property value: the list has more values");
    m.stack.pop_back();
}

std::string TReader::ReadString() {
    return impl_->Take(vaString, "a string").s;
}

int64_t TReader::ReadInteger() {
    return impl_->Take(vaInteger, "an integer").i;
}

bool TReader::ReadBoolean() {
    return impl_->Take(vaTrue, "a Boolean").type == vaTrue;
}

double TReader::ReadFloat() {
    const TFormValue* v = impl_->Current();
    if (v && v->type == vaInteger) return double(impl_->Take(vaInteger, "a float").i);
    return impl_->Take(vaFloat, "a float").f;
}

std::string TReader::ReadIdent() {
    const TFormValue* v = impl_->Current();
    if (v && (v->type == vaTrue || v->type == vaFalse || v->type == vaNil)) {
        ++impl_->stack.back().pos;
        return v->type == vaTrue ? "True" : v->type == vaFalse ? "False" : "nil";
    }
    return impl_->Take(vaIdent, "an identifier").s;
}

char TReader::ReadChar() {
    const TFormValue& v = impl_->Take(vaString, "a character");
    if (v.s.size() != 1) impl_->Fail("Invalid property value: expected one character");
    return v.s[0];
}

void TReader::SkipValue() {
    Impl& m = *impl_;
    if (!m.Current()) m.Fail("Invalid property value: no value to skip");
    ++m.stack.back().pos;
}

namespace {

void ReadProps(TReader& reader, TReader::Impl& m, TObject* instance,
               const std::vector<TPropAssign>& props, const std::string& ctxName);

void ReadCollection(TReader& reader, TReader::Impl& m, TCollection* coll, const TFormValue& v,
                    const std::string& ctx) {
    coll->BeginUpdate();
    try {
        coll->Clear();
        for (size_t k = 0; k < v.collection.size(); ++k) {
            TCollectionItem* item = coll->Add();
            ReadProps(reader, m, item, v.collection[k], ctx + "[" + std::to_string(k) + "]");
        }
    } catch (...) {
        coll->EndUpdate();
        throw;
    }
    coll->EndUpdate();
}

void ReadOne(TReader& reader, TReader::Impl& m, TObject* instance, const TPropAssign& a,
             const std::string& ctxName) {
    m.context = ctxName + "." + a.name;
    m.line = a.line;
    // Walk a dotted path through persistent sub-objects: Font.Name, Title.Font.Color.
    TObject* obj = instance;
    std::string rest = a.name;
    for (size_t dot; (dot = rest.find('.')) != std::string::npos;) {
        std::string seg = rest.substr(0, dot);
        const TPropInfo* p = GetPropInfo(obj, seg);
        if (!p || p->Kind != tkClass || !p->GetObj(obj))
            m.Fail(Format("Property %s does not exist", seg.c_str()));
        obj = p->GetObj(obj);
        rest = rest.substr(dot + 1);
    }
    const TFormValue& v = a.value;
    const TPropInfo* p = GetPropInfo(obj, rest);
    if (!p) {
        if (auto* pers = dynamic_cast<TPersistent*>(obj)) {
            m.wantedName = rest;
            m.wantedValue = &v;
            m.definedFound = false;
            pers->DefineProperties(reader);
            m.wantedValue = nullptr;
            if (m.definedFound) return;
        }
        if (reader.OnUnknownProperty && reader.OnUnknownProperty(obj, rest)) return;
        m.Fail(Format("Property %s does not exist", rest.c_str()));
    }
    auto bad = [&](const char* want) {
        m.Fail(Format("Invalid property value: expected %s, found %s", want, KindName(v.type)));
    };
    if (!p->IsWritable() && p->Kind != tkClass)
        m.Fail(Format("Property %s is read-only", p->Name.c_str()));
    switch (p->Kind) {
        case tkInteger:
            if (v.type == vaIdent && p->Idents) {
                int64_t named = 0;
                if (!p->Idents->FromIdent(v.s, named))
                    m.Fail(Format("Invalid property value: %s is not a value of %s", v.s.c_str(),
                                  p->TypeName.c_str()));
                p->SetOrd(obj, named);
                break;
            }
            if (v.type != vaInteger) bad("an integer");
            p->SetOrd(obj, v.i);
            break;
        case tkChar:
            if (v.type == vaString && v.s.size() == 1)
                p->SetOrd(obj, static_cast<unsigned char>(v.s[0]));
            else if (v.type == vaInteger && v.i >= 0 && v.i <= 255)
                p->SetOrd(obj, v.i);
            else
                bad("a character");
            break;
        case tkEnumeration: {
            int ord = 0;
            if (p->EnumType == &BooleanTypeInfo() && (v.type == vaTrue || v.type == vaFalse)) {
                ord = v.type == vaTrue;
            } else if (v.type == vaIdent || v.type == vaTrue || v.type == vaFalse) {
                std::string id = v.type == vaIdent ? v.s : v.type == vaTrue ? "True" : "False";
                ord = p->EnumType->ValueOf(id);
                if (ord < p->EnumType->MinValue())
                    m.Fail(Format("Invalid property value: %s is not a value of %s", id.c_str(),
                                  p->TypeName.c_str()));
            } else {
                bad("an identifier");
            }
            p->SetOrd(obj, ord);
            break;
        }
        case tkSet: {
            if (v.type != vaSet) bad("a set");
            uint64_t bits = 0;
            for (const TFormValue& mbr : v.items) {
                int ord = p->EnumType->ValueOf(mbr.s);
                if (ord < p->EnumType->MinValue() || ord < 0 || ord >= 64)
                    m.Fail(Format("Invalid property value: %s is not a value of the set %s",
                                  mbr.s.c_str(), p->TypeName.c_str()));
                bits |= uint64_t(1) << ord;
            }
            p->SetOrd(obj, int64_t(bits));
            break;
        }
        case tkFloat:
            if (v.type == vaFloat)
                p->SetFloat(obj, v.f);
            else if (v.type == vaInteger)
                p->SetFloat(obj, double(v.i));
            else
                bad("a float");
            break;
        case tkString:
            if (v.type != vaString) bad("a string");
            p->SetStr(obj, v.s);
            break;
        case tkClass: {
            TObject* sub = p->GetObj(obj);
            if (v.type == vaNil) break;
            if (auto* coll = dynamic_cast<TCollection*>(sub)) {
                if (v.type != vaCollection) bad("a collection");
                ReadCollection(reader, m, coll, v, m.context);
            } else {
                bad("a sub-object's properties");
            }
            break;
        }
        case tkComponent:
            if (v.type == vaNil) {
                p->SetObj(obj, nullptr);
            } else if (v.type == vaIdent) {
                m.fixups.push_back({obj, p, v.s, a.line, m.context});
            } else {
                bad("a component name");
            }
            break;
        case tkMethod:
            if (v.type != vaIdent) bad("a method name");
            if (reader.OnFindMethod) reader.OnFindMethod(obj, p->Name, v.s);
            break;
        case tkUnknown: m.Fail("Property of unknown kind");
    }
}

void ReadProps(TReader& reader, TReader::Impl& m, TObject* instance,
               const std::vector<TPropAssign>& props, const std::string& ctxName) {
    for (const TPropAssign& a : props) ReadOne(reader, m, instance, a, ctxName);
}

void MarkLoading(TReader::Impl& m, TComponent* c) {
    for (TComponent* l : m.loaded)
        if (l == c) return;
    c->BeginLoading();
    m.loaded.push_back(c);
}

void ReadObjectTree(TReader& reader, TReader::Impl& m, TComponent* comp, const TFormObject& fo) {
    ReadProps(reader, m, comp, fo.props, comp->GetName().empty() ? fo.className : comp->GetName());
    for (const TFormObject& child : fo.children) {
        m.context = child.name.empty() ? child.className : child.name;
        m.line = child.line;
        TComponent* c = m.root->FindComponent(child.name);
        if (c) {
            if (!c->ClassType().InheritsFrom(child.className))
                m.Fail(Format("%s is a %s, not a %s", child.name.c_str(), c->ClassName().c_str(),
                              child.className.c_str()));
        } else {
            const TClassInfo* ci = GetClass(child.className);
            if (!ci) m.Fail(Format("Class %s not found", child.className.c_str()));
            if (!ci->CanCreate()) m.Fail(Format("Class %s cannot be created", child.className.c_str()));
            TObject* o = ci->CreateInstance(m.root);
            c = dynamic_cast<TComponent*>(o);
            if (!c) {
                Free(o);
                m.Fail(Format("Class %s is not a component", child.className.c_str()));
            }
            // Loading starts before the name is given, so the component knows it is being
            // read (a control's caption must not take its name).
            MarkLoading(m, c);
            try {
                c->SetName(child.name);
            } catch (const Exception& e) {
                m.loaded.pop_back();
                c->Free();
                m.Fail(e.Message());
            }
        }
        MarkLoading(m, c);
        if (c->HasParent()) c->SetParentComponent(comp);
        ReadObjectTree(reader, m, c, child);
    }
}

TComponent* FindGlobal(TComponent* root, const std::string& name) {
    size_t dot = name.find('.');
    if (dot == std::string::npos) {
        if (SameText(root->GetName(), name)) return root;
        return root->FindComponent(name);
    }
    std::string owner = name.substr(0, dot), rest = name.substr(dot + 1);
    TComponent* base = nullptr;
    if (SameText(root->GetName(), owner)) base = root;
    for (TDataModule* dm : DataModules())
        if (!base && SameText(dm->GetName(), owner)) base = dm;
    if (!base && root->Owner()) base = root->Owner()->FindComponent(owner);
    return base ? base->FindComponent(rest) : nullptr;
}

}  // namespace

void TReader::ReadRootComponent(TComponent* Root) {
    Impl& m = *impl_;
    m.root = Root;
    root_ = Root;
    m.loaded.clear();
    m.fixups.clear();
    m.context = m.form.name;
    m.line = m.form.line;
    if (!Root->ClassType().InheritsFrom(m.form.className))
        m.Fail(Format("The form holds a %s, not a %s", m.form.className.c_str(),
                      Root->ClassName().c_str()));
    try {
        MarkLoading(m, Root);
        if (!m.form.name.empty() && Root->GetName() != m.form.name) Root->SetName(m.form.name);
        ReadObjectTree(*this, m, Root, m.form);
        for (const Impl::Fixup& f : m.fixups) {
            TComponent* target = FindGlobal(Root, f.name);
            m.context = f.context;
            m.line = f.line;
            if (!target) m.Fail(Format("Component %s not found", f.name.c_str()));
            try {
                f.prop->SetObj(f.instance, target);
            } catch (const EReadError&) {
                throw;
            } catch (const Exception& e) {
                m.Fail(e.Message());
            }
        }
    } catch (...) {
        for (TComponent* c : m.loaded) c->SetComponentState(c->ComponentState() - TComponentState{csLoading, csReading});
        throw;
    }
    for (TComponent* c : m.loaded) c->ExcludeState(csReading);
    for (TComponent* c : m.loaded) c->Loaded();
}

TComponent* TReader::ReadNewRootComponent(TComponent* AOwner) {
    const TClassInfo& ci = FindClass(impl_->form.className);
    TObject* o = ci.CreateInstance(AOwner);
    auto* c = dynamic_cast<TComponent*>(o);
    if (!c) {
        Free(o);
        throw EReadError(Format("Class %s is not a component", ci.Name()));
    }
    try {
        ReadRootComponent(c);
    } catch (...) {
        c->Free();
        throw;
    }
    return c;
}

// ---------------------------------------------------------------------------------------------
// TWriter

struct TWriter::Impl {
    std::string out;
    // Values written by a defined property's write procedure.
    std::vector<std::vector<TFormValue>*> stack;
    std::vector<TFormValue> top;
    int indent = 0;
    std::string prefix;  // "Font." while writing a sub-object's defined properties
    std::vector<TPropAssign>* collect = nullptr;  // where defined properties go
    TComponent* root = nullptr;

    TFormValue& Push(TValueType t) {
        if (stack.empty()) throw EWriteError("A value was written outside of a property");
        stack.back()->push_back(TFormValue{});
        TFormValue& v = stack.back()->back();
        v.type = t;
        return v;
    }
};

TWriter::TWriter() : impl_(std::make_unique<Impl>()) {}
TWriter::~TWriter() = default;

const std::string& TWriter::Text() const {
    return impl_->out;
}

void TWriter::WriteListBegin() {
    TFormValue& v = impl_->Push(vaList);
    impl_->stack.push_back(&v.items);
}

void TWriter::WriteListEnd() {
    if (impl_->stack.size() < 2) throw EWriteError("WriteListEnd without WriteListBegin");
    impl_->stack.pop_back();
}

void TWriter::WriteString(const std::string& s) { impl_->Push(vaString).s = s; }
void TWriter::WriteInteger(int64_t v) { impl_->Push(vaInteger).i = v; }
void TWriter::WriteBoolean(bool v) { impl_->Push(v ? vaTrue : vaFalse); }
void TWriter::WriteFloat(double v) { impl_->Push(vaFloat).f = v; }
void TWriter::WriteChar(char c) { impl_->Push(vaString).s = std::string(1, c); }

void TWriter::WriteIdent(const std::string& s) {
    if (SameText(s, "True"))
        impl_->Push(vaTrue);
    else if (SameText(s, "False"))
        impl_->Push(vaFalse);
    else if (SameText(s, "nil"))
        impl_->Push(vaNil);
    else
        impl_->Push(vaIdent).s = s;
}

void TWriter::DefineProperty(const std::string& Name, const TReaderProc&,
                             const TWriterProc& WriteData, bool HasData) {
    Impl& m = *impl_;
    if (!HasData || !WriteData) return;
    m.top.clear();
    m.stack.assign(1, &m.top);
    WriteData(*this);
    if (m.stack.size() != 1) throw EWriteError(Format("Property %s left a list open", Name.c_str()));
    m.stack.clear();
    if (m.top.size() != 1)
        throw EWriteError(Format("Property %s must write exactly one value", Name.c_str()));
    if (m.collect) m.collect->push_back(TPropAssign{m.prefix + Name, m.top[0], 0});
}

void TWriter::DefineBinaryProperty(const std::string& Name, const TStreamProc&,
                                   const TStreamProc& WriteData, bool HasData) {
    Impl& m = *impl_;
    if (!HasData || !WriteData) return;
    TMemoryStream s;
    WriteData(s);
    TFormValue v;
    v.type = vaBinary;
    v.s.assign(reinterpret_cast<const char*>(s.Memory()), size_t(s.GetSize()));
    if (m.collect) m.collect->push_back(TPropAssign{m.prefix + Name, v, 0});
}

namespace {

// Collects an object's stored properties as assignments (sub-objects flattened with dots).
void CollectProps(TWriter& w, TWriter::Impl& m, TObject* obj, const std::string& prefix,
                  std::vector<TPropAssign>& out, int depth);

TFormValue CollectionValue(TWriter& w, TWriter::Impl& m, TCollection* coll, int depth) {
    TFormValue v;
    v.type = vaCollection;
    for (int k = 0; k < coll->GetCount(); ++k) {
        std::vector<TPropAssign> item;
        CollectProps(w, m, coll->Items(k), "", item, depth + 1);
        v.collection.push_back(std::move(item));
    }
    return v;
}

void CollectProps(TWriter& w, TWriter::Impl& m, TObject* obj, const std::string& prefix,
                  std::vector<TPropAssign>& out, int depth) {
    if (depth > 32) throw EWriteError("Sub-objects nest too deeply to be written");
    for (const TPropInfo* p : GetPropList(obj)) {
        if (p->Kind == tkMethod || !p->IsReadable()) continue;
        if (!p->IsStoredProp(obj)) continue;
        TFormValue v;
        switch (p->Kind) {
            case tkInteger:
                v.type = vaInteger;
                v.i = p->GetOrd(obj);
                // Named values (colours, cursors) are written by name.
                if (p->Idents && p->Idents->ToIdent(v.i, v.s)) v.type = vaIdent;
                break;
            case tkChar: v.type = vaString; v.s = std::string(1, char(p->GetOrd(obj))); break;
            case tkEnumeration: {
                int64_t ord = p->GetOrd(obj);
                if (p->EnumType == &BooleanTypeInfo()) {
                    v.type = ord ? vaTrue : vaFalse;
                } else {
                    v.type = vaIdent;
                    v.s = p->EnumType->NameOf(int(ord));
                    // Ordinals without a name cannot be written by name.
                    if (v.s.empty()) continue;
                }
                break;
            }
            case tkSet: {
                v.type = vaSet;
                uint64_t bits = uint64_t(p->GetOrd(obj));
                for (int k = p->EnumType->MinValue(); k <= p->EnumType->MaxValue() && k < 64; ++k) {
                    if (k < 0 || !(bits & (uint64_t(1) << k))) continue;
                    TFormValue mbr;
                    mbr.type = vaIdent;
                    mbr.s = p->EnumType->NameOf(k);
                    v.items.push_back(mbr);
                }
                break;
            }
            case tkFloat: v.type = vaFloat; v.f = p->GetFloat(obj); break;
            case tkString: v.type = vaString; v.s = p->GetStr(obj); break;
            case tkComponent: {
                auto* c = dynamic_cast<TComponent*>(p->GetObj(obj));
                if (!c) {
                    v.type = vaNil;
                } else if (c->GetName().empty()) {
                    continue;  // an unnamed component cannot be referred to
                } else {
                    v.type = vaIdent;
                    bool local = c == m.root || c->Owner() == m.root;
                    v.s = local || !c->Owner() || c->Owner()->GetName().empty()
                              ? c->GetName()
                              : c->Owner()->GetName() + "." + c->GetName();
                }
                break;
            }
            case tkClass: {
                TObject* sub = p->GetObj(obj);
                if (!sub || dynamic_cast<TComponent*>(sub)) continue;
                if (auto* coll = dynamic_cast<TCollection*>(sub)) {
                    if (coll->GetCount() == 0) continue;
                    out.push_back(TPropAssign{prefix + p->Name, CollectionValue(w, m, coll, depth), 0});
                    continue;
                }
                CollectProps(w, m, sub, prefix + p->Name + ".", out, depth + 1);
                continue;
            }
            case tkMethod:
            case tkUnknown: continue;
        }
        out.push_back(TPropAssign{prefix + p->Name, v, 0});
    }
    // Defined properties, written through the same value calls.
    if (auto* pers = dynamic_cast<TPersistent*>(obj)) {
        auto* saveCollect = m.collect;
        std::string savePrefix = m.prefix;
        m.collect = &out;
        m.prefix = prefix;
        try {
            pers->DefineProperties(w);
        } catch (...) {
            m.collect = saveCollect;
            m.prefix = savePrefix;
            throw;
        }
        m.collect = saveCollect;
        m.prefix = savePrefix;
    }
}

}  // namespace

void TWriter::WriteRootComponent(TComponent* Root) {
    Impl& m = *impl_;
    m.root = Root;
    root_ = Root;
    m.out.clear();
    m.indent = 0;
    std::function<void(TComponent*)> writeObject = [&](TComponent* c) {
        std::string pad(size_t(m.indent), ' ');
        m.out += pad + "object " + (c->GetName().empty() ? std::string() : c->GetName() + ": ") +
                 c->ClassName() + "\n";
        m.indent += 2;
        std::vector<TPropAssign> props;
        c->IncludeState(csWriting);
        try {
            CollectProps(*this, m, c, "", props, 0);
        } catch (...) {
            c->ExcludeState(csWriting);
            throw;
        }
        c->ExcludeState(csWriting);
        FormatAssigns(props, m.indent, m.out);
        c->GetChildren(writeObject, Root);
        m.indent -= 2;
        m.out += pad + "end\n";
    };
    writeObject(Root);
}

std::string ComponentToText(TComponent* Root) {
    TWriter w;
    w.WriteRootComponent(Root);
    return w.Text();
}

void ReadComponentFromText(const std::string& text, TComponent* Root) {
    TReader r(text);
    r.ReadRootComponent(Root);
}

void WriteComponentResFile(const std::string& fileName, TComponent* Root) {
    WriteFileAtomic(fileName, ComponentToText(Root));
}

void ReadComponentResFile(const std::string& fileName, TComponent* Root) {
    ReadComponentFromText(ReadFileBytes(fileName), Root);
}

}  // namespace vcl
