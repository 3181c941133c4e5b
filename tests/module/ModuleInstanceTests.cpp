#include "ModuleTestSupport.h"

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <gtest/gtest.h>

#include <limits>

using namespace moduletest;
using namespace Steinberg;

namespace
{
const Bytes zeroId{};

Bytes sdkBytes (const FUID& id)
{
    TUID t{};
    id.toTUID (t);
    return toBytes (t);
}
}

TEST (ModuleInstance, CreateInstanceRefusesBadIdsAndLeavesObjNull)
{
    struct Case
    {
        const char* what;
        const Bytes* classId;     // null: a null class ID
        const Bytes* interfaceId; // null: a null interface ID
        tresult expected;
    };
    const auto component = sdkBytes (Vst::IComponent::iid);
    const auto controller = sdkBytes (Vst::IEditController::iid);
    const auto comOrderComponent = comLayout (0xABCDEF01, 0x9182FAEB, manufacturerCode, pluginCode);
    const auto kind0 = linuxLayout (0xABCDEF01, 0xA1B2C3D4, manufacturerCode, pluginCode);
    const auto kind2 = linuxLayout (0xABCDEF01, 0xC0DEF00D, manufacturerCode, pluginCode);

    const Case cases[] = {
        { "null class ID", nullptr, &component, kInvalidArgument },
        { "component, null interface ID", &componentClassId, nullptr, kInvalidArgument },
        { "null class ID and null interface ID", nullptr, nullptr, kInvalidArgument },
        { "component, all-zero interface ID", &componentClassId, &zeroId, kInvalidArgument },
        { "controller, all-zero interface ID", &controllerClassId, &zeroId, kInvalidArgument },
        { "all-zero class ID", &zeroId, &component, kNoInterface },
        { "component asked for IEditController", &componentClassId, &controller, kNoInterface },
        { "controller asked for IComponent", &controllerClassId, &component, kNoInterface },
        { "processor interface ID as class ID", &processorInterfaceId, &component, kNoInterface },
        { "kind 0 ID as class ID", &kind0, &component, kNoInterface },
        { "kind 2 ID as class ID", &kind2, &component, kNoInterface },
        { "component ID in the COM byte order", &comOrderComponent, &component, kNoInterface },
    };

    FactoryRef factory;
    const auto orNull = [] (const Bytes* id) { return id != nullptr ? asTuid (*id) : nullptr; };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        int sentinel = 0;
        void* obj = &sentinel;
        EXPECT_EQ (factory->createInstance (orNull (c.classId), orNull (c.interfaceId), &obj), c.expected);
        EXPECT_EQ (obj, nullptr);
    }

    // No out pointer to write to.
    EXPECT_EQ (factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, nullptr), kInvalidArgument);

    // The factory is unharmed by the refusals.
    void* obj = nullptr;
    ASSERT_EQ (factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj), kResultOk);
    static_cast<FUnknown*> (obj)->release();
}

TEST (ModuleInstance, ComponentNamesItsControllerAndOffersStereoBuses)
{
    FactoryRef factory;
    void* obj = nullptr;
    ASSERT_EQ (factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj), kResultOk);
    ASSERT_NE (obj, nullptr);
    auto* component = static_cast<Vst::IComponent*> (obj);

    TUID controller{};
    ASSERT_EQ (component->getControllerClassId (controller), kResultOk);
    EXPECT_EQ (toBytes (controller), controllerClassId) << hex (toBytes (controller));

    // The component is also the audio processor, and answers JUCE's processor interface, which
    // is how the controller reaches the processor once the two are connected.
    auto* audioProcessor = query<Vst::IAudioProcessor> (component);
    ASSERT_NE (audioProcessor, nullptr);
    EXPECT_EQ (audioProcessor->canProcessSampleSize (Vst::kSample32), kResultTrue);
    EXPECT_NE (audioProcessor->canProcessSampleSize (Vst::kSample64), kResultTrue);
    EXPECT_EQ (audioProcessor->getLatencySamples(), 0u);
    audioProcessor->release();

    void* juceProcessor = nullptr;
    EXPECT_EQ (component->queryInterface (asTuid (processorInterfaceId), &juceProcessor), kResultOk);
    ASSERT_NE (juceProcessor, nullptr);
    static_cast<FUnknown*> (juceProcessor)->release();

    ASSERT_EQ (component->initialize (nullptr), kResultOk);
    EXPECT_EQ (component->getBusCount (Vst::kAudio, Vst::kInput), 1);
    EXPECT_EQ (component->getBusCount (Vst::kAudio, Vst::kOutput), 1);
    EXPECT_EQ (component->getBusCount (Vst::kEvent, Vst::kInput), 0);
    EXPECT_EQ (component->getBusCount (Vst::kEvent, Vst::kOutput), 0);

    struct BusCase
    {
        Vst::BusDirection direction;
        const char16_t* name;
    };
    for (const auto& b : { BusCase{ Vst::kInput, u"Input" }, BusCase{ Vst::kOutput, u"Output" } })
    {
        Vst::BusInfo info{};
        ASSERT_EQ (component->getBusInfo (Vst::kAudio, b.direction, 0, info), kResultOk);
        EXPECT_EQ (info.channelCount, 2);
        EXPECT_EQ (std::u16string (reinterpret_cast<const char16_t*> (info.name)), b.name);
        EXPECT_EQ (info.busType, Vst::kMain);
    }

    EXPECT_EQ (component->terminate(), kResultOk);
    EXPECT_EQ (component->release(), 0u);
}

// The host pairs the two classes by connecting them; only then does the controller reach the
// component's processor and its parameters.
TEST (ModuleInstance, ControllerReachesTheProcessorOnceConnected)
{
    FactoryRef factory;
    void* obj = nullptr;
    ASSERT_EQ (factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj), kResultOk);
    auto* component = static_cast<Vst::IComponent*> (obj);
    obj = nullptr;
    ASSERT_EQ (factory->createInstance (asTuid (controllerClassId), Vst::IEditController::iid, &obj), kResultOk);
    auto* controller = static_cast<Vst::IEditController*> (obj);

    ASSERT_EQ (component->initialize (nullptr), kResultOk);
    ASSERT_EQ (controller->initialize (nullptr), kResultOk);

    // Unconnected, JUCE 7.0.5 answers its processor interface with success but no object.
    void* processor = &obj;
    EXPECT_EQ (controller->queryInterface (asTuid (processorInterfaceId), &processor), kResultOk);
    EXPECT_EQ (processor, nullptr);

    auto* componentPoint = query<Vst::IConnectionPoint> (component);
    auto* controllerPoint = query<Vst::IConnectionPoint> (controller);
    ASSERT_NE (componentPoint, nullptr);
    ASSERT_NE (controllerPoint, nullptr);
    EXPECT_EQ (componentPoint->connect (controllerPoint), kResultTrue);
    EXPECT_EQ (controllerPoint->connect (componentPoint), kResultTrue);

    processor = nullptr;
    EXPECT_EQ (controller->queryInterface (asTuid (processorInterfaceId), &processor), kResultOk);
    ASSERT_NE (processor, nullptr);
    static_cast<FUnknown*> (processor)->release();

    ASSERT_EQ (controller->getParameterCount(), 11);
    const char16_t* titles[] = { u"Character",  u"Mix",   u"Size",    u"Decay",    u"Pre-Delay", u"Damping",
                                 u"Modulation", u"Width", u"Low Cut", u"High Cut", u"Bypass" };
    for (int i = 0; i < 11; ++i)
    {
        Vst::ParameterInfo info{};
        ASSERT_EQ (controller->getParameterInfo (i, info), kResultOk);
        EXPECT_EQ (std::u16string (reinterpret_cast<const char16_t*> (info.title)), titles[i]);
        EXPECT_NE (info.flags & Vst::ParameterInfo::kCanAutomate, 0);
        EXPECT_EQ ((info.flags & Vst::ParameterInfo::kIsBypass) != 0, i == 10);
    }

    EXPECT_EQ (componentPoint->disconnect (controllerPoint), kResultTrue);
    EXPECT_EQ (controllerPoint->disconnect (componentPoint), kResultTrue);
    componentPoint->release();
    controllerPoint->release();

    EXPECT_EQ (controller->terminate(), kResultOk);
    EXPECT_EQ (component->terminate(), kResultOk);
    EXPECT_EQ (controller->release(), 0u);
    EXPECT_EQ (component->release(), 0u);
}

TEST (ModuleInstance, ManyInstancesLiveSideBySide)
{
    FactoryRef factory;
    std::vector<FUnknown*> objects;
    for (int i = 0; i < 3; ++i)
    {
        for (const auto& [cid, iid] : { std::pair{ &componentClassId, &Vst::IComponent::iid },
                                        std::pair{ &controllerClassId, &Vst::IEditController::iid } })
        {
            void* obj = nullptr;
            ASSERT_EQ (factory->createInstance (asTuid (*cid), *iid, &obj), kResultOk);
            objects.push_back (static_cast<FUnknown*> (obj));
        }
    }

    // Distinct objects, released in creation order.
    for (size_t i = 0; i < objects.size(); ++i)
        for (size_t j = i + 1; j < objects.size(); ++j)
            EXPECT_NE (objects[i], objects[j]);
    for (auto* o : objects)
        EXPECT_EQ (o->release(), 0u);
}

// A host that asks past the parameter list, or after terminate, is told so; nothing is thrown.
TEST (ModuleInstance, ParameterInfoOutsideTheListIsAnInvalidArgument)
{
    Instance instance;
    ASSERT_TRUE (instance.isValid());
    const auto count = instance.controller->getParameterCount();
    ASSERT_EQ (count, 11);

    for (const int index : { -1, count, count + 1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min() })
    {
        SCOPED_TRACE (index);
        Vst::ParameterInfo info{};
        EXPECT_EQ (instance.controller->getParameterInfo (index, info), kInvalidArgument);
    }
    Vst::ParameterInfo last{};
    EXPECT_EQ (instance.controller->getParameterInfo (count - 1, last), kResultOk);

    ASSERT_EQ (instance.controller->terminate(), kResultOk);
    Vst::ParameterInfo info{};
    EXPECT_EQ (instance.controller->getParameterInfo (0, info), kInvalidArgument);
}

// queryInterface with nowhere to write the answer.
TEST (ModuleInstance, QueryInterfaceWithoutAnOutPointerIsAnInvalidArgument)
{
    Instance instance;
    ASSERT_TRUE (instance.isValid());
    FactoryRef factory;

    const std::pair<const char*, FUnknown*> objects[] = {
        { "factory", factory.factory },
        { "component", instance.component },
        { "controller", instance.controller },
        { "audio processor", instance.processor },
    };
    for (const auto& [what, object] : objects)
    {
        SCOPED_TRACE (what);
        EXPECT_EQ (object->queryInterface (FUnknown::iid, nullptr), kInvalidArgument);
        EXPECT_EQ (object->queryInterface (Vst::IComponent::iid, nullptr), kInvalidArgument);

        // The object still answers a proper query.
        void* obj = nullptr;
        ASSERT_EQ (object->queryInterface (FUnknown::iid, &obj), kResultOk);
        static_cast<FUnknown*> (obj)->release();
    }
}
