#include "ModuleTestSupport.h"

#include "ByteStream.h"

#include "tests/support/ComponentStateDamage.h"

#include <pluginterfaces/vst/ivstcomponent.h>

#include <algorithm>
#include <cstdio>
#include <utility>

using namespace Steinberg;

namespace moduletest
{
namespace
{
    // A new audio component, initialised without a host context, terminated and released at the end.
    struct ComponentRef
    {
        ComponentRef()
        {
            FactoryRef factory;
            void* obj = nullptr;
            if (factory.factory != nullptr &&
                factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj) == kResultOk)
                component = static_cast<Vst::IComponent*> (obj);
            if (component != nullptr && component->initialize (nullptr) != kResultOk)
            {
                component->release();
                component = nullptr;
            }
        }
        ~ComponentRef()
        {
            if (component != nullptr)
            {
                component->terminate();
                component->release();
            }
        }
        ComponentRef (const ComponentRef&) = delete;
        ComponentRef& operator= (const ComponentRef&) = delete;

        std::vector<std::uint8_t> save() const
        {
            ByteStream out;
            return component->getState (&out) == kResultOk ? out.bytes : std::vector<std::uint8_t>{};
        }

        Vst::IComponent* component = nullptr;
    };
}

std::string hex (const Bytes& b)
{
    std::string s;
    char digits[4];
    for (auto byte : b)
    {
        std::snprintf (digits, sizeof (digits), "%02X ", byte);
        s += digits;
    }
    return s;
}

StateRun restoreAndSave (const std::vector<std::uint8_t>& state, bool streamTellsSize)
{
    ByteStream in (state, streamTellsSize);
    return restoreAndSave (in);
}

StateRun restoreAndSave (IBStream& in)
{
    StateRun run;
    const ComponentRef c;
    if (c.component == nullptr)
        return run;
    run.restoreResult = c.component->setState (&in);
    run.saved = c.save();
    return run;
}

tresult restoreAndSaveInto (const std::vector<std::uint8_t>& state, IBStream& out)
{
    const ComponentRef c;
    if (c.component == nullptr)
        return kInternalError;
    ByteStream in (state);
    c.component->setState (&in);
    return c.component->getState (&out);
}

std::vector<std::uint8_t> freshState()
{
    const ComponentRef c;
    return c.component != nullptr ? c.save() : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> nonDefaultState()
{
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?> <QUOLBANE>)"
                             R"(<PARAM id="character" value="7.0"/><PARAM id="mix" value="80.0"/>)"
                             R"(<PARAM id="decay" value="9.0"/></QUOLBANE>)";
    std::vector<std::uint8_t> blob{ 'V', 'C', '2', '!' };
    for (int i = 0; i < 4; ++i)
        blob.push_back (static_cast<std::uint8_t> (text.size() >> (8 * i)));
    blob.insert (blob.end(), text.begin(), text.end());
    blob.push_back (0);
    return statedamage::componentState (blob, statedamage::bypassTree (true));
}

Instance::Instance()
{
    FactoryRef factory;
    if (factory.factory == nullptr)
        return;
    void* obj = nullptr;
    if (factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj) == kResultOk)
        component = static_cast<Vst::IComponent*> (obj);
    obj = nullptr;
    if (factory->createInstance (asTuid (controllerClassId), Vst::IEditController::iid, &obj) == kResultOk)
        controller = static_cast<Vst::IEditController*> (obj);
    if (component == nullptr || controller == nullptr || component->initialize (nullptr) != kResultOk ||
        controller->initialize (nullptr) != kResultOk)
        return;

    componentPoint = query<Vst::IConnectionPoint> (component);
    controllerPoint = query<Vst::IConnectionPoint> (controller);
    if (componentPoint != nullptr && controllerPoint != nullptr)
    {
        componentPoint->connect (controllerPoint);
        controllerPoint->connect (componentPoint);
    }
    processor = query<Vst::IAudioProcessor> (component);

    // Hosts switch on the buses they use.
    component->activateBus (Vst::kAudio, Vst::kInput, 0, true);
    component->activateBus (Vst::kAudio, Vst::kOutput, 0, true);
}

Instance::~Instance()
{
    tearDown();
}

void Instance::tearDown()
{
    if (processor != nullptr)
    {
        processor->setProcessing (false);
        component->setActive (false);
        processor->release();
        processor = nullptr;
    }
    if (componentPoint != nullptr && controllerPoint != nullptr)
    {
        componentPoint->disconnect (controllerPoint);
        controllerPoint->disconnect (componentPoint);
    }
    for (auto** point : { &componentPoint, &controllerPoint })
        if (*point != nullptr)
            std::exchange (*point, nullptr)->release();
    if (controller != nullptr)
    {
        controller->terminate();
        std::exchange (controller, nullptr)->release();
    }
    if (component != nullptr)
    {
        component->terminate();
        std::exchange (component, nullptr)->release();
    }
}

std::pair<tresult, tresult> Instance::activate (double sampleRate, int maxSamplesPerBlock)
{
    Vst::ProcessSetup setup{ Vst::kRealtime, Vst::kSample32, maxSamplesPerBlock, sampleRate };
    const auto setupResult = processor->setupProcessing (setup);
    const auto activeResult = component->setActive (true);
    if (activeResult == kResultOk)
        processor->setProcessing (true);
    return { setupResult, activeResult };
}

std::vector<float> Instance::process (const std::vector<float>& input)
{
    std::vector<float> inputs[2] = { input, input };
    std::vector<float> outputs[2] = { std::vector<float> (input.size()), std::vector<float> (input.size()) };
    float* inputChannels[2] = { inputs[0].data(), inputs[1].data() };
    float* outputChannels[2] = { outputs[0].data(), outputs[1].data() };

    lastResult = processChannels (inputChannels, outputChannels, static_cast<int32> (input.size()));
    if (lastResult != kResultOk)
        return {};

    // Left and right, one after the other.
    auto result = std::move (outputs[0]);
    result.insert (result.end(), outputs[1].begin(), outputs[1].end());
    return result;
}

tresult Instance::processChannels (float** inputs, float** outputs, int32 numSamples)
{
    Vst::AudioBusBuffers in{};
    in.numChannels = 2;
    in.channelBuffers32 = inputs;
    Vst::AudioBusBuffers out{};
    out.numChannels = 2;
    out.channelBuffers32 = outputs;

    Vst::ProcessData data{};
    data.processMode = Vst::kRealtime;
    data.symbolicSampleSize = Vst::kSample32;
    data.numSamples = numSamples;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    return processor->process (data);
}

std::vector<float> noiseBurst (std::size_t n, std::size_t length)
{
    std::vector<float> samples (length, 0.0f);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < n && i < length; ++i)
    {
        state = state * 1664525u + 1013904223u;
        samples[i] = static_cast<float> (state >> 8) / 16777216.0f - 0.5f;
    }
    return samples;
}

long firstDifference (const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return 0;
    const auto where = std::mismatch (a.begin(), a.end(), b.begin());
    return where.first == a.end() ? -1 : static_cast<long> (where.first - a.begin());
}
}
