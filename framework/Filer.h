#pragma once

#include "framework/Exception.h"
#include "framework/Streams.h"

#include <cstdint>
#include <functional>
#include <string>

class TComponent;

JEERBOX_DECLARE_EXCEPTION(EFilerError, EStreamError)

// What a component's stored properties are written through and read back from. A component
// declares each property once, in DefineProperties, and the filer at hand either asks the
// getters (writing) or hands the stored values to the setters (reading). hasData says
// whether the property is written at all.
class TFiler {
public:
    virtual ~TFiler() = default;
    virtual void DefineInteger(const std::string& name, const std::function<int64_t()>& get,
                               const std::function<void(int64_t)>& set, bool hasData) = 0;
    virtual void DefineBoolean(const std::string& name, const std::function<bool()>& get,
                               const std::function<void(bool)>& set, bool hasData) = 0;
    // A property kept as a block of bytes that the component writes and reads itself.
    virtual void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>& readData,
                                      const std::function<void(TStream&)>& writeData, bool hasData) = 0;
};

// The stored properties of a component as text:
//   object Convertor: TACMConvertor
//     InputBufferSize = 2048
//     ACMFormatIn = {
//       81000000...}
//   end
std::string WriteComponentProperties(TComponent& component);
// Sets the component's properties from that text. Raises EFilerError for text that is not
// of this form or names a property the component does not have.
void ReadComponentProperties(TComponent& component, const std::string& text);
