#include "PreferenceManager.h"

#include "StoredXml.h"

#include <cstring>
#include <optional>

namespace marnovex
{
namespace
{
juce::String settingsFolderName (const juce::String& manufacturer, const juce::String& product)
{
    auto folder = manufacturer + "/" + product + "/";
   #if JUCE_MAC
    return folder;
   #else
    // The framework puts settings straight under the home folder here; keep the
    // macOS layout relative to it instead.
    return "Library/Application Support/" + folder;
   #endif
}

// The framework's settings reader reads this much of a file first, to look at
// the document element's tag before it reads the whole file.
constexpr size_t kFrameworkFirstReadBytes = 8192;

// Anything a C library may count as white space, in any locale.
bool mayBeSpace (juce::juce_wchar c)
{
    return c == ' ' || (c >= 9 && c <= 13) || c == 0x85 || c == 0xa0 || c == 0x1680 || c == 0x180e
        || (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f || c == 0x3000;
}

// When it saves, the framework parses every stored value as an XML document to
// see whether it holds markup. A value whose first character past white space
// is not '<' yields nothing there at once; any other must pass the same checks
// as a stored document.
bool frameworkCanReparse (const juce::String& value)
{
    auto p = value.getCharPointer();
    while (mayBeSpace (*p))
        ++p;
    if (*p != '<')
        return true;

    const auto* raw = value.toRawUTF8();
    const auto refusal = readStoredXml (raw, std::strlen (raw), StoredText::utf8).refusal;
    return refusal == XmlRefusal::none || refusal == XmlRefusal::noElement;
}

// One zero-terminated string of the binary layouts, read as the framework
// reads it; false when it is not text.
bool readStoredString (juce::InputStream& in, juce::String& result)
{
    juce::MemoryOutputStream bytes;
    for (auto c = in.readByte(); c != 0; c = in.readByte())
        bytes.writeByte (c);

    if (! isStrictUtf8 (bytes.getData(), bytes.getDataSize()))
        return false;
    result = bytes.toUTF8();
    return true;
}

bool binaryValuesAreSafe (juce::InputStream& input)
{
    juce::BufferedInputStream in (input, 2048);
    for (int count = in.readInt(); --count >= 0 && ! in.isExhausted();)
    {
        juce::String key, value;
        if (! readStoredString (in, key) || ! readStoredString (in, value))
            return false;
        if (key.isNotEmpty() && ! frameworkCanReparse (value))
            return false;
    }
    return true;
}

// The framework's two binary layouts, which it tries before XML. Empty when
// the file holds neither.
std::optional<bool> binaryLayoutIsSafe (const juce::MemoryBlock& content)
{
    juce::MemoryInputStream file (content, false);
    const auto magic = file.readInt();

    if (magic == (int) juce::ByteOrder::makeInt ('C', 'P', 'R', 'P'))
    {
        juce::SubregionStream compressed (&file, 4, -1, false);
        juce::GZIPDecompressorInputStream values (compressed);
        return binaryValuesAreSafe (values);
    }

    if (magic == (int) juce::ByteOrder::makeInt ('P', 'R', 'O', 'P'))
        return binaryValuesAreSafe (file);

    return std::nullopt;
}

// The framework keeps the halves of a UTF-16 surrogate pair as two characters
// and would save them as bytes that are not UTF-8.
bool holdsUtf16SurrogatePair (const juce::MemoryBlock& content)
{
    const auto* bytes = static_cast<const juce::uint8*> (content.getData());
    const auto size = content.getSize();
    if (size <= 2 || ! ((bytes[0] == 0xfe && bytes[1] == 0xff) || (bytes[0] == 0xff && bytes[1] == 0xfe)))
        return false;

    const auto highByte = bytes[0] == 0xfe ? 0 : 1;
    for (size_t at = 2; at + 1 < size; at += 2)
        if ((bytes[at + (size_t) highByte] & 0xfc) == 0xd8)
            return true;
    return false;
}

bool xmlLayoutIsSafe (const juce::MemoryBlock& content)
{
    const auto reading = readStoredXml (content.getData(), content.getSize(), StoredText::fileBytes);
    if (reading.root == nullptr || holdsUtf16SurrogatePair (content))
        return false;

    // The first, partial read ends inside the document element's start tag if
    // that tag runs past it; the framework's parser would then run off its end.
    if (content.getSize() > kFrameworkFirstReadBytes && reading.rootStartTagEnd > kFrameworkFirstReadBytes)
        return false;

    // Every value as the framework's settings reader takes it from the document.
    for (auto* e : reading.root->getChildWithTagNameIterator ("VALUE"))
    {
        if (e->getStringAttribute ("name").isEmpty())
            continue;

        const auto value = e->getFirstChildElement() != nullptr
                             ? e->getFirstChildElement()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                             : e->getStringAttribute ("val");
        if (! frameworkCanReparse (value))
            return false;
    }
    return true;
}
} // namespace

PreferenceManager::PreferenceManager (juce::String manufacturer, juce::String product)
    : manufacturerName (std::move (manufacturer)),
      productName (std::move (product))
{
    juce::PropertiesFile::Options options;
    options.applicationName = productName;
    options.filenameSuffix = ".settings";
    options.folderName = settingsFolderName (manufacturerName, productName);
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    applicationProperties.setStorageParameters (options);
}

PreferenceManager::~PreferenceManager()
{
    // If the user file cannot be written, the machine-wide one is not looked at
    // (it never changes anyway). The user settings go first: they fall back on
    // the machine-wide ones.
    if (userSettings == nullptr || userSettings->saveIfNeeded())
        if (machineSettings != nullptr)
            machineSettings->saveIfNeeded();

    userSettings.reset();
    machineSettings.reset();
}

bool PreferenceManager::isSafeToOpen (const juce::File& settingsFile)
{
    // The framework reads no missing file (nor one behind a dangling link).
    if (! settingsFile.exists())
        return true;

    juce::MemoryBlock content;
    if (! readRegularFile (settingsFile, content))
        return false;

    if (const auto binary = binaryLayoutIsSafe (content))
        return *binary;
    return xmlLayoutIsSafe (content);
}

void PreferenceManager::openFiles()
{
    if (filesOpened)
        return;
    filesOpened = true;

    auto options = applicationProperties.getStorageParameters();
    options.commonToAllUsers = false;
    if (isSafeToOpen (options.getDefaultFile()))
        userSettings = std::make_unique<juce::PropertiesFile> (options);

    options.commonToAllUsers = true;
    if (isSafeToOpen (options.getDefaultFile()))
        machineSettings = std::make_unique<juce::PropertiesFile> (options);

    if (userSettings != nullptr)
    {
        userSettings->setFallbackPropertySet (machineSettings.get());
        userSettingsValid = userSettings->isValidFile();
    }
}

bool PreferenceManager::isValid()
{
    openFiles();
    return userSettingsValid;
}

void PreferenceManager::setPreference (juce::String key, double value)
{
    if (! isValid())
        return;

    userSettings->setValue (key, value);
    userSettings->saveIfNeeded();
}

double PreferenceManager::getPreference (juce::String key, double defaultValue)
{
    return isValid() ? userSettings->getDoubleValue (key, defaultValue) : defaultValue;
}
} // namespace marnovex
