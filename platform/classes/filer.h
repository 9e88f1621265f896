// Form files: a readable text format for a component tree, with the reader and writer value
// calls that custom (defined) properties use.
//
//   object Form1: TForm1
//     Caption = 'Orders'
//     Font.Name = 'Arial'
//     Options = [dgTitles, dgIndicator]
//     Items.Strings = (
//       'one'
//       'two')
//     Columns = <
//       item
//         Width = 40
//       end>
//     Data = {0A0B0C}
//     object Grid1: TkrDBGrid
//       DataSource = DataSource1
//     end
//   end
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes/object.h"

namespace vcl {

class TComponent;
class TReader;
class TWriter;
class TStream;

// The kind of the next value in a stream of values.
enum TValueType {
    vaNull,
    vaList,        // ( ... )
    vaInteger,
    vaFloat,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,      // { hex }
    vaSet,         // [ a, b ]
    vaNil,
    vaCollection,  // < item ... end >
};

class TFiler {
public:
    using TReaderProc = std::function<void(TReader&)>;
    using TWriterProc = std::function<void(TWriter&)>;
    using TStreamProc = std::function<void(TStream&)>;
    virtual ~TFiler() = default;
    // A property that is not published but still streamed. HasData decides whether the writer
    // writes it at all.
    virtual void DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                                const TWriterProc& WriteData, bool HasData) = 0;
    virtual void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                      const TStreamProc& WriteData, bool HasData) = 0;
    TComponent* Root() const { return root_; }

protected:
    TComponent* root_ = nullptr;
};

struct TFormValue;  // one parsed value (implementation detail of the reader)

class TReader : public TFiler {
public:
    // Parses the whole text; a syntax error raises EReadError naming the line.
    explicit TReader(const std::string& text);
    ~TReader() override;

    void DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                        const TWriterProc& WriteData, bool HasData) override;
    void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                              const TStreamProc& WriteData, bool HasData) override;

    // Value calls. A value of another kind, or the end of a list where a value was expected,
    // raises EReadError naming the property and the line.
    TValueType NextValue() const;
    void ReadListBegin();
    bool EndOfList() const;
    void ReadListEnd();
    std::string ReadString();
    int64_t ReadInteger();
    bool ReadBoolean();
    double ReadFloat();
    std::string ReadIdent();
    char ReadChar();
    void SkipValue();

    // Reads the tree into Root (its sub-components are found by name or created by class),
    // resolves component references, then calls Loaded on every component read, in creation
    // order.
    void ReadRootComponent(TComponent* Root);
    // Reads a root whose class is named in the text, created with AOwner.
    TComponent* ReadNewRootComponent(TComponent* AOwner);

    // Called for an event property ("OnClick = Button1Click"); unbound events are ignored.
    std::function<void(TObject* Instance, const std::string& Property, const std::string& Method)>
        OnFindMethod;
    // Called for a property the class does not have; returning true skips it instead of raising.
    std::function<bool(TObject* Instance, const std::string& Property)> OnUnknownProperty;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

class TWriter : public TFiler {
public:
    TWriter();
    ~TWriter() override;

    void DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                        const TWriterProc& WriteData, bool HasData) override;
    void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                              const TStreamProc& WriteData, bool HasData) override;

    void WriteListBegin();
    void WriteListEnd();
    void WriteString(const std::string& s);
    void WriteInteger(int64_t v);
    void WriteBoolean(bool v);
    void WriteFloat(double v);
    void WriteIdent(const std::string& s);
    void WriteChar(char c);

    // Writes Root with its published properties that differ from their defaults (or are always
    // stored), its defined properties, and its children (GetChildren).
    void WriteRootComponent(TComponent* Root);
    const std::string& Text() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Conveniences over TReader / TWriter.
std::string ComponentToText(TComponent* Root);
void ReadComponentFromText(const std::string& text, TComponent* Root);
void WriteComponentResFile(const std::string& fileName, TComponent* Root);
void ReadComponentResFile(const std::string& fileName, TComponent* Root);

}  // namespace vcl
