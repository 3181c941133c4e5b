#include "ModuleTestSupport.h"

#include <pluginterfaces/vst/ivstcomponent.h>

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace moduletest;
using namespace Steinberg;

namespace
{
// Text of a fixed-size field that must be zero from the end of the text to the end of the field.
template <typename Char, std::size_t N>
std::basic_string<Char> zeroPaddedText (const Char (&field)[N])
{
    std::size_t length = 0;
    while (length < N && field[length] != 0)
        ++length;
    for (auto i = length; i < N; ++i)
        EXPECT_EQ (field[i], Char (0)) << "byte " << i << " of a " << N << "-unit field";
    return { field, length };
}

std::u16string widened (const std::string& s)
{
    return { s.begin(), s.end() };
}

struct ClassRow
{
    const char* category;
    Bytes classId;
};

const ClassRow classRows[] = {
    { "Audio Module Class", componentClassId },
    { "Component Controller Class", controllerClassId },
};

const std::string sdkVersion = "VST 3.7.2";
}

TEST (ModuleFactory, EntryPointsReturnTrueHoweverOftenCalled)
{
    const auto& m = module();

    // Nested pairs, as several hosts in one process would call them.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE (m.moduleEntry (m.handle));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE (m.moduleExit());

    // More exits than entries, then the entries that balance them again.
    EXPECT_TRUE (m.moduleExit());
    EXPECT_TRUE (m.moduleExit());
    EXPECT_TRUE (m.moduleEntry (m.handle));
    EXPECT_TRUE (m.moduleEntry (m.handle));

    FactoryRef factory;
    ASSERT_NE (factory.factory, nullptr);
    EXPECT_EQ (factory->countClasses(), 2);
}

// JUCE 7.0.5 keeps one factory per module: a second GetPluginFactory hands out the same object
// with one more reference. Each caller still owns one reference and may release it alone.
TEST (ModuleFactory, EveryCallerGetsItsOwnReferenceToAWorkingFactory)
{
    auto* first = module().getPluginFactory();
    auto* second = module().getPluginFactory();
    ASSERT_NE (first, nullptr);
    ASSERT_NE (second, nullptr);
    EXPECT_EQ (first, second);

    PFactoryInfo firstInfo{}, secondInfo{};
    ASSERT_EQ (first->getFactoryInfo (&firstInfo), kResultOk);
    ASSERT_EQ (second->getFactoryInfo (&secondInfo), kResultOk);
    EXPECT_EQ (std::memcmp (&firstInfo, &secondInfo, sizeof (PFactoryInfo)), 0);

    // An instance made before the caller lets go keeps working without any factory.
    void* obj = nullptr;
    ASSERT_EQ (first->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj), kResultOk);
    auto* component = static_cast<Vst::IComponent*> (obj);

    EXPECT_EQ (first->release(), 1u);
    EXPECT_EQ (second->countClasses(), 2);
    PClassInfo info{};
    EXPECT_EQ (second->getClassInfo (1, &info), kResultOk);
    EXPECT_EQ (second->release(), 0u);

    TUID controller{};
    EXPECT_EQ (component->getControllerClassId (controller), kResultOk);
    EXPECT_EQ (toBytes (controller), controllerClassId);
    EXPECT_EQ (component->release(), 0u);

    // After the last reference is gone the next call builds a new, complete factory.
    FactoryRef again;
    ASSERT_NE (again.factory, nullptr);
    PFactoryInfo againInfo{};
    ASSERT_EQ (again->getFactoryInfo (&againInfo), kResultOk);
    EXPECT_EQ (std::memcmp (&firstInfo, &againInfo, sizeof (PFactoryInfo)), 0);
    EXPECT_EQ (again->countClasses(), 2);
}

TEST (ModuleFactory, FactoryInfoNamesTheVendorAndAnnouncesUnicode)
{
    FactoryRef factory;
    PFactoryInfo info;
    std::memset (&info, 0x5a, sizeof (info));
    ASSERT_EQ (factory->getFactoryInfo (&info), kResultOk);

    EXPECT_EQ (zeroPaddedText (info.vendor), "QuolBane Audio");
    EXPECT_EQ (zeroPaddedText (info.url), "https://quolbane.example");
    EXPECT_EQ (zeroPaddedText (info.email), "support@quolbane.example");
    EXPECT_EQ (info.flags, 16);
    EXPECT_EQ (info.flags, PFactoryInfo::kUnicode);
}

TEST (ModuleFactory, ClassInfoInAllThreeRecords)
{
    FactoryRef factory;
    ASSERT_EQ (factory->countClasses(), 2);

    auto factory2 = query<IPluginFactory2> (factory.factory);
    auto factory3 = query<IPluginFactory3> (factory.factory);
    ASSERT_NE (factory2, nullptr);
    ASSERT_NE (factory3, nullptr);

    for (int index = 0; index < 2; ++index)
    {
        const auto& row = classRows[index];
        SCOPED_TRACE (row.category);

        PClassInfo info;
        std::memset (&info, 0x5a, sizeof (info));
        ASSERT_EQ (factory->getClassInfo (index, &info), kResultOk);
        EXPECT_EQ (toBytes (info.cid), row.classId) << hex (toBytes (info.cid));
        EXPECT_EQ (info.cardinality, 0x7FFFFFFF);
        EXPECT_EQ (info.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ (zeroPaddedText (info.category), row.category);
        EXPECT_EQ (zeroPaddedText (info.name), "Quolbane");

        PClassInfo2 info2;
        std::memset (&info2, 0x5a, sizeof (info2));
        ASSERT_EQ (factory2->getClassInfo2 (index, &info2), kResultOk);
        EXPECT_EQ (toBytes (info2.cid), row.classId);
        EXPECT_EQ (info2.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ (zeroPaddedText (info2.category), row.category);
        EXPECT_EQ (zeroPaddedText (info2.name), "Quolbane");
        EXPECT_EQ (info2.classFlags, 0u);
        EXPECT_EQ (zeroPaddedText (info2.subCategories), "Fx|Reverb");
        EXPECT_EQ (zeroPaddedText (info2.vendor), "QuolBane Audio");
        EXPECT_EQ (zeroPaddedText (info2.version), "0.1.0");
        EXPECT_EQ (zeroPaddedText (info2.sdkVersion), sdkVersion);

        PClassInfoW infoW;
        std::memset (&infoW, 0x5a, sizeof (infoW));
        ASSERT_EQ (factory3->getClassInfoUnicode (index, &infoW), kResultOk);
        EXPECT_EQ (toBytes (infoW.cid), row.classId);
        EXPECT_EQ (infoW.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ (zeroPaddedText (infoW.category), row.category);
        EXPECT_EQ (zeroPaddedText (infoW.subCategories), "Fx|Reverb");
        EXPECT_EQ (infoW.classFlags, 0u);
        EXPECT_EQ (zeroPaddedText (infoW.name), widened ("Quolbane"));
        EXPECT_EQ (zeroPaddedText (infoW.vendor), widened ("QuolBane Audio"));
        EXPECT_EQ (zeroPaddedText (infoW.version), widened ("0.1.0"));
        EXPECT_EQ (zeroPaddedText (infoW.sdkVersion), widened (sdkVersion));
    }

    factory2->release();
    factory3->release();
}

// On Linux the SDK is not COM-compatible: a class ID is its four words, each big-endian. The
// Windows COM layout swaps the bytes of the first word and of each half of the second.
TEST (ModuleFactory, ClassIdsAreTheFourWordsInTheSdksLinuxLayout)
{
    struct Case
    {
        const char* what;
        std::uint32_t w1, w2;
        Bytes expected;
    };
    const Case cases[] = {
        { "component",
          0xABCDEF01,
          0x9182FAEB,
          { 0xAB, 0xCD, 0xEF, 0x01, 0x91, 0x82, 0xFA, 0xEB, 'Q', 'l', 'b', 'n', 'Q', 'b', 'n', 'a' } },
        { "controller",
          0xABCDEF01,
          0x1234ABCD,
          { 0xAB, 0xCD, 0xEF, 0x01, 0x12, 0x34, 0xAB, 0xCD, 'Q', 'l', 'b', 'n', 'Q', 'b', 'n', 'a' } },
    };

    FactoryRef factory;
    for (int index = 0; index < 2; ++index)
    {
        const auto& c = cases[index];
        SCOPED_TRACE (c.what);

        // The SDK's own construction from the four words agrees with the spelled-out bytes.
        TUID fromSdk{};
        FUID (c.w1, c.w2, manufacturerCode, pluginCode).toTUID (fromSdk);
        EXPECT_EQ (toBytes (fromSdk), c.expected);
        EXPECT_EQ (linuxLayout (c.w1, c.w2, manufacturerCode, pluginCode), c.expected);

        PClassInfo info{};
        ASSERT_EQ (factory->getClassInfo (index, &info), kResultOk);
        EXPECT_EQ (toBytes (info.cid), c.expected) << hex (toBytes (info.cid));
        EXPECT_NE (toBytes (info.cid), comLayout (c.w1, c.w2, manufacturerCode, pluginCode));
    }
}

TEST (ModuleFactory, QueryInterfaceAnswersOnlyTheFactoryInterfaces)
{
    FactoryRef factory;

    for (const auto* iid : { &IPluginFactory3::iid, &IPluginFactory2::iid, &IPluginFactory::iid, &FUnknown::iid })
    {
        void* obj = nullptr;
        ASSERT_EQ (factory->queryInterface (*iid, &obj), kResultOk);
        ASSERT_NE (obj, nullptr);
        static_cast<FUnknown*> (obj)->release();
    }

    int sentinel = 0;
    void* obj = &sentinel;
    EXPECT_EQ (factory->queryInterface (Vst::IComponent::iid, &obj), kNotImplemented);
    EXPECT_EQ (obj, nullptr);
}

TEST (ModuleFactory, NullRecordsAreInvalidArguments)
{
    FactoryRef factory;
    auto factory3 = query<IPluginFactory3> (factory.factory);
    ASSERT_NE (factory3, nullptr);

    EXPECT_EQ (factory->getFactoryInfo (nullptr), kInvalidArgument);
    for (int index = 0; index < 2; ++index)
    {
        EXPECT_EQ (factory3->getClassInfo (index, nullptr), kInvalidArgument);
        EXPECT_EQ (factory3->getClassInfo2 (index, nullptr), kInvalidArgument);
        EXPECT_EQ (factory3->getClassInfoUnicode (index, nullptr), kInvalidArgument);
    }
    factory3->release();
}

// An index outside the class list is refused without reading past the list: no class's
// information reaches the record.
TEST (ModuleFactory, IndicesOutsideTheClassListAreInvalidArguments)
{
    FactoryRef factory;
    auto factory3 = query<IPluginFactory3> (factory.factory);
    ASSERT_NE (factory3, nullptr);

    const auto noClassId = [] (const TUID cid)
    { return toBytes (cid) != componentClassId && toBytes (cid) != controllerClassId; };
    for (const int32 index : { -1, 2, 3, 64, 1 << 20, std::numeric_limits<int32>::min(),
                               std::numeric_limits<int32>::max() })
    {
        SCOPED_TRACE (index);
        PClassInfo info{};
        EXPECT_EQ (factory3->getClassInfo (index, &info), kInvalidArgument);
        EXPECT_TRUE (noClassId (info.cid));
        PClassInfo2 info2{};
        EXPECT_EQ (factory3->getClassInfo2 (index, &info2), kInvalidArgument);
        EXPECT_TRUE (noClassId (info2.cid));
        PClassInfoW infoW{};
        EXPECT_EQ (factory3->getClassInfoUnicode (index, &infoW), kInvalidArgument);
        EXPECT_TRUE (noClassId (infoW.cid));
    }

    // The list is unharmed.
    PClassInfo info{};
    EXPECT_EQ (factory3->getClassInfo (1, &info), kResultOk);
    EXPECT_EQ (toBytes (info.cid), controllerClassId);
    factory3->release();
}
