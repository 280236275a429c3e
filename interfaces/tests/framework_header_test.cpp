// The generated header comes first and alone: every deliverable includes it,
// so it must compile on its own with our warning settings.
#include "FrameworkLib.h"

#include <gtest/gtest.h>

#include <type_traits>

// Services derive from the plug-in contract and the string list from the
// object list: early-bound callers hand the derived pointers on as the base.
static_assert(std::is_base_of_v<IFrameworkPlugin, IConfig>);
static_assert(std::is_base_of_v<IFrameworkPlugin, ILogger>);
static_assert(std::is_base_of_v<IObjectList, IStringList>);
static_assert(std::is_base_of_v<IDispatch, IFrameworkController>);
static_assert(std::is_base_of_v<IDispatch, IFrameworkShell>);
static_assert(std::is_base_of_v<IDispatch, IMirdexAccessServer>);

namespace {

struct PublishedId {
  const char* name;
  const GUID& id;
  const wchar_t* text;
};

// Identifiers that already live outside this build: registry entries written
// by installers and services, and outside programs that create the classes
// or ask for the interfaces. Changing one breaks them, so each is pinned to
// its published text here.
const PublishedId kPublishedIds[] = {
    {"LIBID_FrameworkLib", LIBID_FrameworkLib, L"{FAD7B7B5-D754-4BA4-AB03-345D2C7803D0}"},
    {"IID_IFrameworkPlugin", IID_IFrameworkPlugin, L"{4DD09210-CA71-497E-BCCB-2CB22BE0930B}"},
    {"IID_IFrameworkController", IID_IFrameworkController, L"{DF9579D7-A70E-45E5-9CF1-3871EB9D5963}"},
    {"DIID__IFrameworkControllerEvents", DIID__IFrameworkControllerEvents,
     L"{2C8D4FCC-6852-4057-A0F3-35982373B230}"},
    {"IID_IFrameworkShell", IID_IFrameworkShell, L"{EBB8FB36-8727-4A20-A81F-E7FBBDF77037}"},
    {"IID_IConfig", IID_IConfig, L"{3AE06574-BA29-411C-9095-725089E9885E}"},
    {"IID_ILogger", IID_ILogger, L"{F922575A-7C8A-4CC5-ABC1-43CD8DE93D6A}"},
    {"IID_IObjectList", IID_IObjectList, L"{BC87D91E-A6FE-415B-8CB5-F3B4726C363A}"},
    {"IID_IStringList", IID_IStringList, L"{33F18398-6276-4E29-B4B6-3B707E93FEFF}"},
    {"IID_IObjectPair", IID_IObjectPair, L"{990552DA-B836-4187-A4FD-1B8BC9018FC1}"},
    {"IID_IStringObjectMap", IID_IStringObjectMap, L"{CDBF4AF7-AB47-49F0-932E-3F5967254273}"},
    {"IID_IIntegerObjectMap", IID_IIntegerObjectMap, L"{A014A2D7-0176-4CAC-861B-2B108D15900B}"},
    {"IID_IErrorObject", IID_IErrorObject, L"{7B7BC084-ACA0-47DB-B4CD-42FF059FE228}"},
    {"IID_IMirdexAccessServer", IID_IMirdexAccessServer, L"{441899A4-6672-455F-B11A-14D10AB6C903}"},
    {"CLSID_FrameworkShell", CLSID_FrameworkShell, L"{129BC6AC-A43F-4A86-AD84-ECE0AA26515E}"},
    {"CLSID_ObjectList", CLSID_ObjectList, L"{2219975D-BE3D-47A4-A8C8-7EBF3B86AAA8}"},
    {"CLSID_StringList", CLSID_StringList, L"{D9D47324-4AFD-495D-ABC2-3CE56F6B9D6A}"},
    {"CLSID_ObjectPair", CLSID_ObjectPair, L"{B90C9922-698F-4879-989A-2EB3E1134CED}"},
    {"CLSID_StringObjectMap", CLSID_StringObjectMap, L"{5D407D63-82D4-49EA-BFDF-AC560F6DD4B9}"},
    {"CLSID_IntegerObjectMap", CLSID_IntegerObjectMap, L"{073C8F0C-CEDD-45B8-8F41-10EF4E172DBE}"},
    {"CLSID_ErrorObject", CLSID_ErrorObject, L"{17190DB9-D558-497E-A4A3-B87B6CF04259}"},
    {"CLSID_Config", CLSID_Config, L"{23C5284F-2B96-46DB-AC04-6D9FE820EFE5}"},
    {"CLSID_Logger", CLSID_Logger, L"{C06D2BCE-B8DD-4E7C-B5D3-27653B411F80}"},
    {"CLSID_MirdexAccessServer", CLSID_MirdexAccessServer, L"{6CB7294F-AC03-4301-81FC-8802A7943277}"},
};

TEST(FrameworkHeader, IdentifiersKeepTheirPublishedValues) {
  for (const PublishedId& entry : kPublishedIds) {
    GUID expected{};
    ASSERT_EQ(S_OK, ::CLSIDFromString(entry.text, &expected)) << entry.name;
    EXPECT_TRUE(::IsEqualGUID(expected, entry.id)) << entry.name;
  }
}

}  // namespace
