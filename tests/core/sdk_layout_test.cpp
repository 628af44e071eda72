// The SDK headers must match the binary contract slot for slot: hosts and plug-ins
// compiled elsewhere index the tables by position. A pointer to a virtual member
// function holds 1 + the slot's byte offset in the table (the compiler's ABI), which
// lets these tests read each declaration's slot without calling it.
#include <tunebay/tunebay.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

template <class F>
int SlotOf(F member) {
  static_assert(sizeof(F) >= sizeof(uintptr_t), "pointer to member");
  uintptr_t raw;
  std::memcpy(&raw, &member, sizeof raw);
  return static_cast<int>((raw - 1) / sizeof(void*));
}

using namespace tb;

TEST(sdk_layout_test, manager_operations_sit_in_their_slots) {
  EXPECT_EQ(SlotOf(&IManager::AddRef), 1);
  EXPECT_EQ(SlotOf(&IManager::Release), 2);
  EXPECT_EQ(SlotOf(&IManager::SetPluginFolder), 3);
  EXPECT_EQ(SlotOf(&IManager::Initialise), 4);
  EXPECT_EQ(SlotOf(&IManager::IsReadyToFinish), 5);
  EXPECT_EQ(SlotOf(&IManager::Finish), 6);
  EXPECT_EQ(SlotOf(&IManager::SetConvertor), 7);
  EXPECT_EQ(SlotOf(&IManager::GetConvertor), 8);
  EXPECT_EQ(SlotOf(&IManager::Reserved), 9);
  EXPECT_EQ(SlotOf(&IManager::Notify), 10);
  EXPECT_EQ(SlotOf(&IManager::AddListener), 11);
  EXPECT_EQ(SlotOf(&IManager::RemoveListener), 12);
  EXPECT_EQ(SlotOf(&IManager::OpenSource), 13);
  EXPECT_EQ(SlotOf(&IManager::CreateSink), 14);
  EXPECT_EQ(SlotOf(&IManager::RegisterService), 15);
  EXPECT_EQ(SlotOf(&IManager::UnregisterService), 16);
  EXPECT_EQ(SlotOf(&IManager::LookupService), 17);
  EXPECT_EQ(SlotOf(&IManager::DescribeError), 18);
  EXPECT_EQ(SlotOf(&IManagerListener::OnManagerEvent), 3);
}

TEST(sdk_layout_test, secondary_interfaces_sit_in_their_slots) {
  EXPECT_EQ(SlotOf(&IComponentCollection::GetCount), 3);
  EXPECT_EQ(SlotOf(&IComponentCollection::GetItem), 4);
  EXPECT_EQ(SlotOf(&ILanguageSetting::SetLanguage), 3);
  EXPECT_EQ(SlotOf(&ILanguageSetting::GetLanguage), 4);
  EXPECT_EQ(SlotOf(&IRegistryLocation::SetKeyName1), 3);
  EXPECT_EQ(SlotOf(&IRegistryLocation::GetKeyName2), 6);
  EXPECT_EQ(SlotOf(&IHostSettings::SetHostText1), 3);
  EXPECT_EQ(SlotOf(&IHostSettings::SetHostNumber), 5);
  EXPECT_EQ(SlotOf(&IHostSettings::GetHostText2), 8);
  EXPECT_EQ(SlotOf(&ISettingsDialog::ShowSettingsDialog), 3);
  EXPECT_EQ(SlotOf(&IComponentOrigin::GetComponentOrigin), 3);
  EXPECT_EQ(SlotOf(&ISourceOrder::SetSourceOrder), 3);
  EXPECT_EQ(SlotOf(&ISourceOrder::GetOrderedComponents), 4);
  EXPECT_EQ(SlotOf(&IModuleLocation::UseHostModuleFolder), 3);
  EXPECT_EQ(SlotOf(&IClientValue::SetClientValue), 3);
  EXPECT_EQ(SlotOf(&IClientValue::GetClientValue), 4);
  EXPECT_EQ(SlotOf(&IManagerRules::GetComponentKey), 3);
  EXPECT_EQ(SlotOf(&IManagerRules::ClassifySourceName), 4);
  EXPECT_EQ(SlotOf(&IManagerRules::GetSearchExtension), 5);
  EXPECT_EQ(SlotOf(&IManagerRules::GetDecoderPass), 6);
  EXPECT_EQ(SlotOf(&IManagerRules::GetStoredSetting), 7);
  EXPECT_EQ(SlotOf(&IPluginDiagnostics::GetLoadRecordCount), 3);
  EXPECT_EQ(SlotOf(&IPluginDiagnostics::GetOpenAttempt), 6);
  EXPECT_EQ(SlotOf(&IPluginDiagnostics::IsAdmittedFileName), 7);
  EXPECT_EQ(SlotOf(&IPluginDiagnostics::SetTrace), 8);
}

TEST(sdk_layout_test, plugin_interfaces_sit_in_their_slots) {
  EXPECT_EQ(SlotOf(&IComponent::GetName), 3);
  EXPECT_EQ(SlotOf(&IComponent::GetKind), 4);
  EXPECT_EQ(SlotOf(&IComponent::Setup), 5);
  EXPECT_EQ(SlotOf(&IComponent::Shutdown), 6);
  EXPECT_EQ(SlotOf(&IError::GetMessage), 3);
  EXPECT_EQ(SlotOf(&IError::GetCode), 4);
  EXPECT_EQ(SlotOf(&IError::GetSystemError), 5);
  EXPECT_EQ(SlotOf(&IErrorVerdict::GetVerdict), 3);
  EXPECT_EQ(SlotOf(&IComponentIdentity::GetClassId), 3);
  EXPECT_EQ(SlotOf(&IComponentAbout::GetVendor), 3);
  EXPECT_EQ(SlotOf(&IComponentAbout::ShowAboutBox), 5);
  EXPECT_EQ(SlotOf(&IExtensionList::GetCount), 3);
  EXPECT_EQ(SlotOf(&IExtensionList::GetExtension), 4);
  EXPECT_EQ(SlotOf(&IDownloader::GetProtocols), 3);
  EXPECT_EQ(SlotOf(&IDownloader::Download), 4);
}

TEST(sdk_layout_test, source_and_sink_interfaces_sit_in_their_slots) {
  EXPECT_EQ(SlotOf(&ISourceControl::Start), 3);
  EXPECT_EQ(SlotOf(&ISourceControl::Stop), 4);
  EXPECT_EQ(SlotOf(&ISourceControl::GetState), 5);
  EXPECT_EQ(SlotOf(&ISourceData::GetFormat), 3);
  EXPECT_EQ(SlotOf(&ISourceData::Read), 4);
  EXPECT_EQ(SlotOf(&ISourceData::GetDataSize), 5);
  EXPECT_EQ(SlotOf(&ISourcePosition::GetPosition), 3);
  EXPECT_EQ(SlotOf(&ISourcePosition::GetBlockAlign), 4);
  EXPECT_EQ(SlotOf(&ISourcePosition::GetLength), 5);
  EXPECT_EQ(SlotOf(&ISampleQuery::QueryCount), 3);
  EXPECT_EQ(SlotOf(&ISampleQuery::QuerySamplePosition), 4);
  EXPECT_EQ(SlotOf(&ITagInfo::GetTitle), 3);
  EXPECT_EQ(SlotOf(&ITagInfo::GetArtist), 4);
  EXPECT_EQ(SlotOf(&ITagInfo::GetAlbum), 5);
  EXPECT_EQ(SlotOf(&ITagInfo::GetYear), 7);
  EXPECT_EQ(SlotOf(&ISourceSeek::Seek), 3);
  EXPECT_EQ(SlotOf(&IOriginalFormat::GetSourceFormat), 3);
  EXPECT_EQ(SlotOf(&IFileInfo::GetFileSize), 3);
  EXPECT_EQ(SlotOf(&IFileInfo::GetFilePath), 4);
  EXPECT_EQ(SlotOf(&ILifetime::Attach), 3);
  EXPECT_EQ(SlotOf(&ILifetime::Detach), 4);
  EXPECT_EQ(SlotOf(&ILifetime::InnerQueryInterface), 5);
  EXPECT_EQ(SlotOf(&ILifetime::InnerAddRef), 6);
  EXPECT_EQ(SlotOf(&ILifetime::InnerRelease), 7);
  EXPECT_EQ(SlotOf(&IConvertor::CanConvert), 3);
  EXPECT_EQ(SlotOf(&IConvertor::CreateConversion), 4);
  EXPECT_EQ(SlotOf(&IConvertorSetup::Prepare), 3);
  EXPECT_EQ(SlotOf(&IConversion::Convert), 3);
  EXPECT_EQ(SlotOf(&IConversion::GetOutputSize), 4);
  EXPECT_EQ(SlotOf(&IConversion::GetOutputData), 5);
  EXPECT_EQ(SlotOf(&ISinkData::Write), 3);
  EXPECT_EQ(SlotOf(&ISinkData::GetFormat), 4);
}

TEST(sdk_layout_test, source_opener_has_two_tables_one_word_apart) {
  EXPECT_EQ(SlotOf(&ISourceOpenerOps::GetFeatureMask), 0);
  EXPECT_EQ(SlotOf(&ISourceOpenerOps::Open), 1);
  EXPECT_EQ(SlotOf(&ISourceOpenerUnknown::AddRef), 1);
  EXPECT_EQ(SlotOf(&ISourceOpenerUnknown::GetCapabilities), 3);
  // The IUnknown table is the next pointer-sized word of the object.
  alignas(8) static char storage[64];
  auto* opener = reinterpret_cast<ISourceOpener*>(storage);
  EXPECT_EQ(reinterpret_cast<char*>(opener_unknown(opener)) - storage,
            static_cast<ptrdiff_t>(sizeof(void*)));
  EXPECT_EQ(static_cast<void*>(static_cast<ISourceOpenerOps*>(opener)),
            static_cast<void*>(storage));
}

TEST(sdk_layout_test, sink_creator_operation_is_the_third_slot) {
  EXPECT_EQ(SlotOf(&ISinkCreator::CreateSinkObject), 2);
}

TEST(sdk_layout_test, records_have_the_contract_layout) {
  EXPECT_EQ(sizeof(AudioFormat), 12u);
  EXPECT_EQ(offsetof(AudioFormat, sampleRate), 0u);
  EXPECT_EQ(offsetof(AudioFormat, bitsPerSample), 4u);
  EXPECT_EQ(offsetof(AudioFormat, channels), 8u);
  EXPECT_EQ(offsetof(ComponentOrigin, index), 260u);
  EXPECT_EQ(sizeof(ComponentOrigin), 264u);
  EXPECT_EQ(offsetof(LoadRecord, outcome), 260u);
  EXPECT_EQ(offsetof(LoadRecord, detail), 280u);
  EXPECT_EQ(sizeof(LoadRecord), 540u);
  EXPECT_EQ(offsetof(OpenAttempt, pass), 520u);
  EXPECT_EQ(offsetof(OpenAttempt, detail), 532u);
  EXPECT_EQ(sizeof(OpenAttempt), 792u);
  EXPECT_EQ(sizeof(bool), 1u);
}

TEST(sdk_layout_test, identifiers_match_their_registry_form) {
  // {FC2E77B1-6278-452B-9756-7AC24E807778}
  const GUID& id = iid_of<IComponentCollection>();
  EXPECT_EQ(id.Data1, 0xFC2E77B1u);
  EXPECT_EQ(id.Data2, 0x6278);
  EXPECT_EQ(id.Data3, 0x452B);
  const unsigned char tail[8] = {0x97, 0x56, 0x7A, 0xC2, 0x4E, 0x80, 0x77, 0x78};
  EXPECT_EQ(std::memcmp(id.Data4, tail, 8), 0);
#ifdef __MINGW32__
  EXPECT_TRUE(IsEqualGUID(__uuidof(tb::ILifetime), iid_of<ILifetime>()));
#endif
}

}  // namespace
