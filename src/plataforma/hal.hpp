// The audio hardware layer: a property-based interface to the audio system.
//
// Objects are addressed by 32-bit ids; their properties by (selector, scope,
// element), each a four-character code. Calls return a signed 32-bit status,
// 0 meaning success. The simulated implementation lives in simulada/, the
// real one on the audio server of the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

namespace sonvia {

using OSStatus = std::int32_t;
using AudioObjectID = std::uint32_t;
using AudioDeviceIOProcID = std::uint64_t;  // 0 is never a valid proc

// A four-character code written in reading order: fourcc("prs#") == 0x70727323.
constexpr std::uint32_t fourcc(const char (&c)[5]) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(c[0])) << 24U) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(c[1])) << 16U) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(c[2])) << 8U) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[3]));
}

// The code as its four characters ("prs#"), for messages and scenario files.
std::string textoFourcc(std::uint32_t codigo);

struct AudioObjectPropertyAddress {
  std::uint32_t mSelector = 0;
  std::uint32_t mScope = 0;
  std::uint32_t mElement = 0;
  friend bool operator==(const AudioObjectPropertyAddress&,
                         const AudioObjectPropertyAddress&) = default;
};

// Objects.
inline constexpr AudioObjectID kAudioObjectUnknown = 0;
inline constexpr AudioObjectID kAudioObjectSystemObject = 1;

// Statuses.
inline constexpr OSStatus kAudioHardwareNoError = 0;
inline constexpr OSStatus kAudioHardwareUnspecifiedError = static_cast<OSStatus>(fourcc("what"));
inline constexpr OSStatus kAudioHardwareUnknownPropertyError =
    static_cast<OSStatus>(fourcc("who?"));
inline constexpr OSStatus kAudioHardwareBadObjectError =
    static_cast<OSStatus>(0x21626F62);  // '!bob'
inline constexpr OSStatus kAudioHardwareBadPropertySizeError =
    static_cast<OSStatus>(fourcc("!siz"));
inline constexpr OSStatus kAudioHardwareIllegalOperationError =
    static_cast<OSStatus>(fourcc("nope"));
inline constexpr OSStatus kAudioHardwareNotRunningError = static_cast<OSStatus>(fourcc("stop"));

// Scopes and element.
inline constexpr std::uint32_t kAudioObjectPropertyScopeGlobal = fourcc("glob");
inline constexpr std::uint32_t kAudioObjectPropertyScopeInput = fourcc("inpt");
inline constexpr std::uint32_t kAudioObjectPropertyScopeOutput = fourcc("outp");
inline constexpr std::uint32_t kAudioDevicePropertyScopeOutput = kAudioObjectPropertyScopeOutput;
inline constexpr std::uint32_t kAudioDevicePropertyScopeInput = kAudioObjectPropertyScopeInput;
inline constexpr std::uint32_t kAudioObjectPropertyElementMain = 0;

// Selectors of the system object.
inline constexpr std::uint32_t kAudioHardwarePropertyRunLoop = fourcc("rnlp");
inline constexpr std::uint32_t kAudioHardwarePropertyProcessObjectList = fourcc("prs#");
inline constexpr std::uint32_t kAudioHardwarePropertyDevices = fourcc("dev#");
inline constexpr std::uint32_t kAudioHardwarePropertyDefaultOutputDevice = fourcc("dOut");
// The audio system went away or came back, notified on the system object;
// read as a UInt32, 1 while the system answers. What was made on it before it
// went away (taps, aggregates, IO procs) is gone for good: destroying it is
// all that still works.
inline constexpr std::uint32_t kAudioHardwarePropertyServiceRestarted = fourcc("srst");

// Selectors of process objects.
inline constexpr std::uint32_t kAudioProcessPropertyPID = fourcc("ppid");
inline constexpr std::uint32_t kAudioProcessPropertyBundleID = fourcc("pbid");
inline constexpr std::uint32_t kAudioProcessPropertyIsRunningOutput = fourcc("piro");
inline constexpr std::uint32_t kAudioProcessPropertyIsRunningInput = fourcc("piri");
inline constexpr std::uint32_t kAudioProcessPropertyDevices = fourcc("pdv#");

// Selectors of devices, streams and taps.
inline constexpr std::uint32_t kAudioObjectPropertyName = fourcc("lnam");
inline constexpr std::uint32_t kAudioDevicePropertyDeviceUID = fourcc("uid ");
inline constexpr std::uint32_t kAudioDevicePropertyTransportType = fourcc("tran");
inline constexpr std::uint32_t kAudioDevicePropertyStreamConfiguration = fourcc("slay");
inline constexpr std::uint32_t kAudioDevicePropertyStreams = fourcc("stm#");
inline constexpr std::uint32_t kAudioDevicePropertyPreferredChannelsForStereo = fourcc("dch2");
inline constexpr std::uint32_t kAudioDevicePropertyIOProcStreamUsage = fourcc("suse");
inline constexpr std::uint32_t kAudioTapPropertyFormat = fourcc("tfmt");

// Transport types.
inline constexpr std::uint32_t kAudioDeviceTransportTypeBuiltIn = fourcc("bltn");
inline constexpr std::uint32_t kAudioDeviceTransportTypeAggregate = fourcc("grup");
inline constexpr std::uint32_t kAudioDeviceTransportTypeVirtual = fourcc("virt");
inline constexpr std::uint32_t kAudioDeviceTransportTypeUSB = fourcc("usb ");
inline constexpr std::uint32_t kAudioDeviceTransportTypeBluetooth = fourcc("blue");
inline constexpr std::uint32_t kAudioDeviceTransportTypeBluetoothLE = fourcc("blea");
inline constexpr std::uint32_t kAudioDeviceTransportTypeAirPlay = fourcc("airp");
inline constexpr std::uint32_t kAudioDeviceTransportTypeHDMI = fourcc("hdmi");
inline constexpr std::uint32_t kAudioDeviceTransportTypeDisplayPort = fourcc("dprt");

// Audio format identifiers.
inline constexpr std::uint32_t kAudioFormatLinearPCM = fourcc("lpcm");
inline constexpr std::uint32_t kAudioFormatFlagIsFloat = 1U << 0U;
inline constexpr std::uint32_t kAudioFormatFlagIsPacked = 1U << 3U;
inline constexpr std::uint32_t kAudioFormatFlagIsNonInterleaved = 1U << 5U;

// One buffer of samples: 32-bit floats, interleaved over mNumberChannels.
struct AudioBuffer {
  std::uint32_t mNumberChannels = 0;
  std::uint32_t mDataByteSize = 0;
  void* mData = nullptr;
};

// A list of buffers laid out as the audio system hands it over: the count,
// then the buffers one after another. The declared array of one is the
// customary trailing array; use buffers() to reach all of them, and
// BloqueListaBuffers to allocate a list of any length.
struct AudioBufferList {
  std::uint32_t mNumberBuffers = 0;
  AudioBuffer mBuffers[1];  // NOLINT(*-avoid-c-arrays): the system's layout
};

inline std::span<AudioBuffer> buffers(AudioBufferList& lista) {
  return {static_cast<AudioBuffer*>(lista.mBuffers), lista.mNumberBuffers};
}
inline std::span<const AudioBuffer> buffers(const AudioBufferList& lista) {
  return {static_cast<const AudioBuffer*>(lista.mBuffers), lista.mNumberBuffers};
}

// Bytes that a list of n buffers occupies.
constexpr std::size_t tamanoListaBuffers(std::size_t n) {
  const std::size_t minimo = sizeof(AudioBufferList);
  const std::size_t exacto = offsetof(AudioBufferList, mBuffers) + n * sizeof(AudioBuffer);
  return exacto < minimo ? minimo : exacto;
}

// Owns the memory of an AudioBufferList with any number of buffers.
class BloqueListaBuffers {
 public:
  explicit BloqueListaBuffers(std::size_t numeroBuffers);
  // Takes the bytes of a list as a property read returned them.
  static BloqueListaBuffers desdeBytes(std::span<const std::byte> bytes);

  AudioBufferList& lista() { return *lista_; }
  const AudioBufferList& lista() const { return *lista_; }
  std::span<AudioBuffer> buffers() { return sonvia::buffers(*lista_); }
  std::size_t tamano() const { return tamano_; }

 private:
  BloqueListaBuffers() = default;
  std::unique_ptr<AudioBuffer[]> memoria_;  // AudioBuffer-aligned storage
  std::size_t tamano_ = 0;
  AudioBufferList* lista_ = nullptr;
};

struct AudioStreamBasicDescription {
  double mSampleRate = 0;
  std::uint32_t mFormatID = 0;
  std::uint32_t mFormatFlags = 0;
  std::uint32_t mBytesPerPacket = 0;
  std::uint32_t mFramesPerPacket = 0;
  std::uint32_t mBytesPerFrame = 0;
  std::uint32_t mChannelsPerFrame = 0;
  std::uint32_t mBitsPerChannel = 0;
  std::uint32_t mReserved = 0;
};

// Packed 32-bit float stereo at the given rate: the format of a tap's mix.
constexpr AudioStreamBasicDescription formatoEstereoFlotante(double frecuencia) {
  return {.mSampleRate = frecuencia,
          .mFormatID = kAudioFormatLinearPCM,
          .mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
          .mBytesPerPacket = 8,
          .mFramesPerPacket = 1,
          .mBytesPerFrame = 8,
          .mChannelsPerFrame = 2,
          .mBitsPerChannel = 32,
          .mReserved = 0};
}

// Which of a device's streams an IO proc uses ('suse'). Like the buffer list
// it ends in a trailing array, here of mNumberStreams flags.
struct AudioHardwareIOProcStreamUsage {
  AudioDeviceIOProcID mIOProc = 0;
  std::uint32_t mNumberStreams = 0;
  std::uint32_t mStreamIsOn[1] = {0};  // NOLINT(*-avoid-c-arrays): the system's layout
};

constexpr std::size_t tamanoUsoDeStreams(std::size_t n) {
  const std::size_t exacto =
      offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) + n * sizeof(std::uint32_t);
  return exacto < sizeof(AudioHardwareIOProcStreamUsage) ? sizeof(AudioHardwareIOProcStreamUsage)
                                                         : exacto;
}

struct AudioTimeStamp {
  double mSampleTime = 0;
  std::uint64_t mHostTime = 0;
};

// A process tap: one stereo mix of the given process objects.
struct DescripcionTap {
  std::vector<AudioObjectID> procesos;
  bool mezclaEstereo = true;       // stereo mixdown of the processes
  std::string uuid;                // uppercase hyphenated form
  int comportamientoSilencio = 0;  // 0 unmuted, 1 muted while tapped
  bool privado = false;
  std::string nombre;
};

// Dictionaries handed to the audio system (the aggregate-device description).
using Diccionario = nlohmann::json;

using AudioObjectPropertyListenerProc = OSStatus (*)(AudioObjectID objeto,
                                                     std::uint32_t numeroDirecciones,
                                                     const AudioObjectPropertyAddress* direcciones,
                                                     void* datosCliente);

// Runs on the device's real-time IO thread once per cycle: it must not lock,
// allocate, log or block.
using BloqueIO = std::function<void(const AudioTimeStamp* ahora, const AudioBufferList* entrada,
                                    const AudioTimeStamp* tiempoEntrada, AudioBufferList* salida,
                                    const AudioTimeStamp* tiempoSalida)>;

class Hal {
 public:
  Hal() = default;
  Hal(const Hal&) = delete;
  Hal& operator=(const Hal&) = delete;
  virtual ~Hal() = default;

  virtual OSStatus getPropertyDataSize(AudioObjectID objeto,
                                       const AudioObjectPropertyAddress& direccion,
                                       std::uint32_t& tamano) = 0;
  // Fixed-size and variable-size properties. On entry `tamano` is the size of
  // `datos`; on success it is the number of bytes written.
  virtual OSStatus getPropertyData(AudioObjectID objeto,
                                   const AudioObjectPropertyAddress& direccion,
                                   std::uint32_t& tamano, void* datos) = 0;
  virtual OSStatus setPropertyData(AudioObjectID objeto,
                                   const AudioObjectPropertyAddress& direccion,
                                   std::uint32_t tamano, const void* datos) = 0;
  // Text properties ('pbid', 'uid ', 'lnam').
  virtual OSStatus getPropertyText(AudioObjectID objeto,
                                   const AudioObjectPropertyAddress& direccion,
                                   std::string& texto) = 0;

  // Listeners are called on the layer's own notification thread. Once
  // removePropertyListener has returned, the procedure is not running for that
  // registration and will not be called for it again.
  virtual OSStatus addPropertyListener(AudioObjectID objeto,
                                       const AudioObjectPropertyAddress& direccion,
                                       AudioObjectPropertyListenerProc procedimiento,
                                       void* datosCliente) = 0;
  virtual OSStatus removePropertyListener(AudioObjectID objeto,
                                          const AudioObjectPropertyAddress& direccion,
                                          AudioObjectPropertyListenerProc procedimiento,
                                          void* datosCliente) = 0;

  virtual OSStatus createProcessTap(const DescripcionTap& descripcion, AudioObjectID& tap) = 0;
  virtual OSStatus destroyProcessTap(AudioObjectID tap) = 0;
  virtual OSStatus createAggregateDevice(const Diccionario& descripcion,
                                         AudioObjectID& dispositivo) = 0;
  virtual OSStatus destroyAggregateDevice(AudioObjectID dispositivo) = 0;

  virtual OSStatus createIOProcID(AudioObjectID dispositivo, BloqueIO bloque,
                                  AudioDeviceIOProcID& proc) = 0;
  virtual OSStatus destroyIOProcID(AudioObjectID dispositivo, AudioDeviceIOProcID proc) = 0;
  virtual OSStatus deviceStart(AudioObjectID dispositivo, AudioDeviceIOProcID proc) = 0;
  virtual OSStatus deviceStop(AudioObjectID dispositivo, AudioDeviceIOProcID proc) = 0;
};

}  // namespace sonvia
