#include "StateTextGuard.h"

#include <expat.h>

#include <cstring>
#include <limits>

namespace
{
struct GuardState
{
    XML_Parser parser = nullptr;
    int depth = 0;
    bool refused = false;
};

void refuse (GuardState& s)
{
    s.refused = true;
    XML_StopParser (s.parser, XML_FALSE);
}

void XMLCALL onStart (void* userData, const XML_Char*, const XML_Char**)
{
    auto& s = *static_cast<GuardState*> (userData);
    if (++s.depth > StateTextGuard::maxDepth)
        refuse (s);
}

void XMLCALL onEnd (void* userData, const XML_Char*)
{
    --static_cast<GuardState*> (userData)->depth;
}

void XMLCALL onDoctype (void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int)
{
    refuse (*static_cast<GuardState*> (userData));
}

void XMLCALL onProcessingInstruction (void* userData, const XML_Char*, const XML_Char*)
{
    refuse (*static_cast<GuardState*> (userData));
}

void XMLCALL onEntityDecl (void* userData, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                           const XML_Char*, const XML_Char*)
{
    refuse (*static_cast<GuardState*> (userData));
}
}

bool StateTextGuard::isSafe (const char* text, std::size_t numBytes) noexcept
{
    if (text == nullptr || numBytes == 0 || numBytes > maxTextBytes)
        return false;

    if (std::memchr (text, 0, numBytes) != nullptr)
        return false;

    GuardState state;
    state.parser = XML_ParserCreate ("UTF-8");
    if (state.parser == nullptr)
        return false;

    XML_SetUserData (state.parser, &state);
    XML_SetElementHandler (state.parser, onStart, onEnd);
    XML_SetStartDoctypeDeclHandler (state.parser, onDoctype);
    XML_SetProcessingInstructionHandler (state.parser, onProcessingInstruction);
    XML_SetEntityDeclHandler (state.parser, onEntityDecl);

    const auto status = XML_Parse (state.parser, text, static_cast<int> (numBytes), XML_TRUE);
    XML_ParserFree (state.parser);

    return status == XML_STATUS_OK && !state.refused;
}
