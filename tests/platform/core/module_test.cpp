#include "platform/core/class_registry.h"
#include "platform/core/module.h"
#include "tests/platform/core/thing.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {
// Each test copies the modules into a folder of its own, under names that
// are no library names, so every test loads fresh libraries.
class ModuleTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kestrova-module-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::create_directory(dir_ / "Sub");
        fs::copy_file(KESTROVA_THING_MODULE, thing());
        fs::copy_file(KESTROVA_ENTRYLESS_MODULE, dir_ / "Sub" / "Plain.ax");
        std::ofstream(dir_ / "Sub" / "Text.ax") << "not a library\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path thing() const { return dir_ / "Sub" / "Thing.ax"; }

    static bool isLoaded(const fs::path& path)
    {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    }

    fs::path dir_;
};
} // namespace

TEST_F(ModuleTest, LoadsByPathAndCreatesByClassId)
{
    std::shared_ptr<Module> module;
    ASSERT_EQ(Module::load(thing(), module), S_OK);
    EXPECT_EQ(module->path(), thing());

    ComPtr<IThing> object;
    ASSERT_EQ(module->createInstance(CLSID_Thing, nullptr, IThing::iid, object.putVoid()), S_OK);
    EXPECT_EQ(object->answer(), 42);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(module->getClassObject(CLSID_Thing, IClassFactory::iid, factory.putVoid()), S_OK);
    ComPtr<IThing> second;
    EXPECT_EQ(factory->CreateInstance(nullptr, IThing::iid, second.putVoid()), S_OK);
    EXPECT_NE(second.get(), object.get());

    void* raw = &raw;
    EXPECT_EQ(factory->CreateInstance(object.as<IUnknown>().get(), IUnknown::iid, &raw), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(module->createInstance(CLSID_Thing, nullptr, IClassFactory::iid, &raw), E_NOINTERFACE);
    EXPECT_EQ(raw, nullptr);
    const CLSID unknown = "{6B1D7E20-3C4A-4F0E-9A51-2D8E6F0C1AFF}"_guid;
    EXPECT_EQ(module->createInstance(unknown, nullptr, IThing::iid, &raw), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(module->getClassObject(unknown, IClassFactory::iid, &raw), CLASS_E_CLASSNOTAVAILABLE);
    // An exception inside the module stays there.
    EXPECT_EQ(module->createInstance(CLSID_BrokenThing, nullptr, IThing::iid, &raw), E_FAIL);
    EXPECT_EQ(raw, nullptr);
    // So does a success without a factory.
    EXPECT_EQ(module->createInstance(CLSID_EmptyThing, nullptr, IThing::iid, &raw), CO_E_ERRORINDLL);
    EXPECT_EQ(raw, nullptr);
}

TEST_F(ModuleTest, RelativePathsStartInTheCurrentFolder)
{
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    std::shared_ptr<Module> module;
    const HRESULT hr = Module::load("Sub/Thing.ax", module);
    fs::current_path(previous);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(module->path(), thing());
    std::string error;
    EXPECT_EQ(Module::load("Thing.ax", module, &error), CO_E_DLLNOTFOUND);
}

TEST_F(ModuleTest, UnloadsOnlyWhenNothingOfItLives)
{
    std::shared_ptr<Module> module;
    ASSERT_EQ(Module::load(thing(), module), S_OK);
    EXPECT_TRUE(isLoaded(thing()));
    module.reset();
    EXPECT_FALSE(isLoaded(thing())) << "an unused module unloads with its last reference";

    ASSERT_EQ(Module::load(thing(), module), S_OK);
    ComPtr<IThing> object;
    ASSERT_EQ(module->createInstance(CLSID_Thing, nullptr, IThing::iid, object.putVoid()), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(module->getClassObject(CLSID_Thing, IClassFactory::iid, factory.putVoid()), S_OK);
    module.reset();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(isLoaded(thing()));
    EXPECT_EQ(object->answer(), 42);

    object.reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(isLoaded(thing())) << "its factory still lives";

    // A server lock outlives the factory that took it.
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(isLoaded(thing()));

    ASSERT_EQ(Module::load(thing(), module), S_OK);
    ASSERT_EQ(module->getClassObject(CLSID_Thing, IClassFactory::iid, factory.putVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    module.reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(isLoaded(thing()));
}

TEST_F(ModuleTest, BadFilesFailCleanly)
{
    std::shared_ptr<Module> module;
    std::string error;
    EXPECT_EQ(Module::load(dir_ / "Sub" / "Missing.ax", module, &error), CO_E_DLLNOTFOUND);
    EXPECT_NE(error.find("Missing.ax"), std::string::npos);
    EXPECT_EQ(Module::load(dir_ / "Sub", module, &error), CO_E_DLLNOTFOUND);

    error.clear();
    EXPECT_EQ(Module::load(dir_ / "Sub" / "Text.ax", module, &error), CO_E_ERRORINDLL);
    EXPECT_FALSE(error.empty());

    EXPECT_EQ(Module::load(dir_ / "Sub" / "Plain.ax", module, &error), CO_E_ERRORINDLL);
    EXPECT_NE(error.find("DllGetClassObject"), std::string::npos);
    EXPECT_FALSE(module);
    EXPECT_FALSE(isLoaded(dir_ / "Sub" / "Plain.ax"));
}

TEST_F(ModuleTest, ModuleClassesServeTheClassRegistry)
{
    {
        std::shared_ptr<Module> module;
        ASSERT_EQ(Module::load(thing(), module), S_OK);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(module->getClassObject(CLSID_Thing, IClassFactory::iid, factory.putVoid()), S_OK);
        registerClass(CLSID_Thing, factory);
    }
    ComPtr<IThing> object;
    ASSERT_EQ(CoCreateInstance(CLSID_Thing, nullptr, CLSCTX_INPROC_SERVER, IThing::iid, object.putVoid()), S_OK);
    EXPECT_EQ(object->answer(), 42);
    object.reset();
    EXPECT_TRUE(unregisterClass(CLSID_Thing));
    CoFreeUnusedLibraries();
    EXPECT_FALSE(isLoaded(thing()));
}
