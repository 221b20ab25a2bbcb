#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "platform/SgIoDevice.h"
#include "support/FakePlatform.h"

namespace platform {
namespace {

using test::FakeSg;

TEST(SgRequest, CarriesCdbBufferDirectionSenseAndTimeout) {
  const uint8_t cdb[12] = {0xBE, 0, 0, 0, 0, 10, 0, 0, 1, 0xF8, 0, 0};
  uint8_t data[2352];
  uint8_t sense[32];
  sg_io_hdr request;
  BuildSgRequest(request, cdb, DataDirection::In, data, 30000, sense, sizeof sense);
  EXPECT_EQ(request.interface_id, 'S');
  EXPECT_EQ(request.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(request.cmdp, cdb);
  EXPECT_EQ(request.cmd_len, 12);
  EXPECT_EQ(request.dxferp, data);
  EXPECT_EQ(request.dxfer_len, 2352u);
  EXPECT_EQ(request.sbp, sense);
  EXPECT_EQ(request.mx_sb_len, 32);
  EXPECT_EQ(request.timeout, 30000u);

  BuildSgRequest(request, cdb, DataDirection::Out, data, 5000, sense, sizeof sense);
  EXPECT_EQ(request.dxfer_direction, SG_DXFER_TO_DEV);
  // No buffer means no transfer whatever the direction says.
  BuildSgRequest(request, cdb, DataDirection::In, {}, 5000, sense, sizeof sense);
  EXPECT_EQ(request.dxfer_direction, SG_DXFER_NONE);
  EXPECT_EQ(request.dxfer_len, 0u);
}

TEST(SgSense, FixedFormatIsCopiedAndDescriptorFormatConverted) {
  std::array<uint8_t, 18> fixed;
  const uint8_t given[18] = {0xF0, 0, 0x03, 0, 0, 0x12, 0x34, 10, 0, 0, 0, 0, 0x11, 0x05};
  ASSERT_EQ(ToFixedSense(given, sizeof given, fixed), 18u);
  EXPECT_EQ(0, std::memcmp(fixed.data(), given, 18));

  // MEDIUM ERROR at LBA 0x1234 with the information descriptor, then sense-key specific.
  const uint8_t descriptor[] = {0x72, 0x03, 0x11, 0x05, 0, 0, 0, 20,
                                0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34,
                                0x02, 0x06, 0, 0, 0x80, 0x00, 0x07, 0};
  ASSERT_EQ(ToFixedSense(descriptor, sizeof descriptor, fixed), 18u);
  EXPECT_EQ(fixed[0], 0xF0);  // current error, VALID
  EXPECT_EQ(fixed[2], 0x03);
  EXPECT_EQ(fixed[3], 0x00);
  EXPECT_EQ(fixed[5], 0x12);
  EXPECT_EQ(fixed[6], 0x34);
  EXPECT_EQ(fixed[7], 10);
  EXPECT_EQ(fixed[12], 0x11);
  EXPECT_EQ(fixed[13], 0x05);
  EXPECT_EQ(fixed[15], 0x80);
  EXPECT_EQ(fixed[17], 0x07);

  // Deferred error; an information value beyond 32 bits is not VALID in fixed format.
  const uint8_t wide[] = {0x73, 0x04, 0x44, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 1, 0, 0, 0, 9};
  ASSERT_EQ(ToFixedSense(wide, sizeof wide, fixed), 18u);
  EXPECT_EQ(fixed[0], 0x71);
  EXPECT_EQ(fixed[2], 0x04);
  EXPECT_EQ(fixed[12], 0x44);

  // Block commands (ILI only; its other bits are reserved), then the unit code.
  const uint8_t block[] = {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 8, 0x05, 0x02, 0, 0xE0, 0x03, 0x02, 0, 0x2C};
  ASSERT_EQ(ToFixedSense(block, sizeof block, fixed), 18u);
  EXPECT_EQ(fixed[2], 0x23);
  EXPECT_EQ(fixed[14], 0x2C);
  // Stream commands keep FILEMARK and EOM beside ILI.
  const uint8_t stream[] = {0x72, 0x00, 0x00, 0x01, 0, 0, 0, 4, 0x04, 0x02, 0, 0xC0};
  ASSERT_EQ(ToFixedSense(stream, sizeof stream, fixed), 18u);
  EXPECT_EQ(fixed[2], 0xC0);
}

TEST(SgSense, LyingDescriptorLengthsStayInsideTheData) {
  std::array<uint8_t, 18> fixed;
  // Additional length says 200 bytes, a descriptor claims 40: only what was written is read.
  const uint8_t lying[] = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 200, 0x00, 40, 0x80, 0};
  ASSERT_EQ(ToFixedSense(lying, sizeof lying, fixed), 18u);
  EXPECT_EQ(fixed[0], 0x70);
  EXPECT_EQ(fixed[2], 0x05);
  EXPECT_EQ(fixed[12], 0x24);
  EXPECT_EQ(fixed[3] | fixed[4] | fixed[5] | fixed[6], 0);
  const uint8_t garbage[] = {0x12, 0x34};
  EXPECT_EQ(ToFixedSense(garbage, sizeof garbage, fixed), 0u);
  EXPECT_EQ(ToFixedSense(garbage, 0, fixed), 0u);
}

sg_io_hdr Finished(uint8_t status, uint16_t host, uint16_t driver, int resid, uint8_t senseWritten) {
  sg_io_hdr request;
  std::memset(&request, 0, sizeof request);
  request.dxfer_len = 2048;
  request.mx_sb_len = 32;
  request.status = status;
  request.host_status = host;
  request.driver_status = driver;
  request.resid = resid;
  request.sb_len_wr = senseWritten;
  return request;
}

TEST(SgStatus, MapsStatusHostDriverAndErrno) {
  uint8_t sense[32] = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x00};
  ExecResult good = MapSgResult(0, Finished(0x00, 0, 0, 48, 0), sense);
  EXPECT_TRUE(good.Scsi.Good());
  EXPECT_EQ(good.Scsi.Residual, 48u);
  EXPECT_EQ(good.Scsi.SenseLength, 0u);

  ExecResult check = MapSgResult(0, Finished(0x02, 0, 0x08, 2048, 18), sense);
  EXPECT_FALSE(check.Scsi.Good());
  EXPECT_FALSE(check.Scsi.TransportError);
  EXPECT_EQ(check.Scsi.Status, 0x02);
  EXPECT_EQ(check.Scsi.SenseKey(), 0x03);
  EXPECT_EQ(check.Scsi.Asc(), 0x11);
  EXPECT_EQ(check.Error, kErrorNone);

  ExecResult timedOut = MapSgResult(0, Finished(0x00, 0x03, 0, 0, 0), sense);
  EXPECT_TRUE(timedOut.Scsi.TransportError);
  EXPECT_EQ(timedOut.Error, kErrorTimeout);
  ExecResult driverError = MapSgResult(0, Finished(0x00, 0, 0x04, 0, 0), sense);
  EXPECT_TRUE(driverError.Scsi.TransportError);
  EXPECT_EQ(driverError.Error, kErrorIoDevice);

  EXPECT_EQ(MapSgResult(-EPERM, Finished(0, 0, 0, 0, 0), sense).Error, kErrorAccessDenied);
  EXPECT_EQ(MapSgResult(-EACCES, Finished(0, 0, 0, 0, 0), sense).Error, kErrorAccessDenied);
  EXPECT_EQ(MapSgResult(-EIO, Finished(0, 0, 0, 0, 0), sense).Error, kErrorIoDevice);
  EXPECT_TRUE(MapSgResult(-EPERM, Finished(0, 0, 0, 0, 0), sense).Scsi.TransportError);
  // A residual larger than the transfer is cut to it.
  EXPECT_EQ(MapSgResult(0, Finished(0x00, 0, 0, 99999, 0), sense).Scsi.Residual, 2048u);
}

TEST(SgDevice, OpensReadWriteFallsBackToReadOnlyAndReportsDenial) {
  auto sg = std::make_shared<FakeSg>();
  uint32_t error = 99;
  {
    auto device = SgIoDevice::Open("/dev/sr0", sg, true, error);
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->Writable());
    EXPECT_EQ(error, kErrorNone);
    ASSERT_EQ(sg->Opens.size(), 1u);
    EXPECT_EQ(sg->Opens[0].Flags & O_ACCMODE, O_RDWR);
    EXPECT_NE(sg->Opens[0].Flags & O_NONBLOCK, 0);
  }
  EXPECT_EQ(sg->OpenHandles, 0);

  sg->ReadOnlyDenied.insert("/dev/sr1");
  auto readOnly = SgIoDevice::Open("/dev/sr1", sg, true, error);
  ASSERT_TRUE(readOnly);
  EXPECT_FALSE(readOnly->Writable());
  EXPECT_EQ(sg->Opens.back().Flags & O_ACCMODE, O_RDONLY);

  sg->Denied.insert("/dev/sr2");
  EXPECT_FALSE(SgIoDevice::Open("/dev/sr2", sg, true, error));
  EXPECT_EQ(error, kErrorAccessDenied);

  const size_t before = sg->Opens.size();
  auto reader = SgIoDevice::Open("/dev/sr0", sg, false, error);
  ASSERT_TRUE(reader);
  EXPECT_EQ(sg->Opens.size(), before + 1);
  EXPECT_EQ(sg->Opens.back().Flags & O_ACCMODE, O_RDONLY);
}

TEST(SgDevice, ExecuteRunsTheIoctlAndMapsItsOutcome) {
  auto sg = std::make_shared<FakeSg>();
  sg->Answer = [](const std::string&, sg_io_hdr& request) {
    if (request.cmdp[0] == 0xD8) return -EPERM;  // the kernel's command filter
    // MEDIUM ERROR in descriptor format, half the data transferred.
    const uint8_t sense[] = {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 42};
    std::memcpy(request.sbp, sense, sizeof sense);
    request.sb_len_wr = sizeof sense;
    std::memset(request.dxferp, 0xAA, request.dxfer_len / 2);
    request.resid = static_cast<int>(request.dxfer_len / 2);
    request.status = 0x02;
    request.driver_status = 0x08;
    return 0;
  };
  uint32_t error = 0;
  auto device = SgIoDevice::Open("/dev/sr0", sg, true, error);
  ASSERT_TRUE(device);
  const uint8_t read10[10] = {0x28, 0, 0, 0, 0, 42, 0, 0, 2, 0};
  std::vector<uint8_t> buffer(4096);
  const ExecResult r = device->Execute(read10, DataDirection::In, buffer, 30000);
  EXPECT_EQ(r.Scsi.Status, 0x02);
  EXPECT_EQ(r.Scsi.SenseKey(), 0x03);
  EXPECT_EQ(r.Scsi.Sense[0], 0xF0);
  EXPECT_EQ(r.Scsi.Sense[6], 42);
  EXPECT_EQ(r.Scsi.Residual, 2048u);
  ASSERT_EQ(sg->Cdbs.size(), 1u);
  EXPECT_EQ(sg->Cdbs[0], std::vector<uint8_t>(read10, read10 + 10));

  const uint8_t readCdda[12] = {0xD8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
  const ExecResult denied = device->Execute(readCdda, DataDirection::In, buffer, 30000);
  EXPECT_TRUE(denied.Scsi.TransportError);
  EXPECT_EQ(denied.Error, kErrorAccessDenied);

  const uint8_t tooLong[17] = {};
  EXPECT_EQ(device->Execute(std::span<const uint8_t>(tooLong, 17), DataDirection::None, {}, 1000).Error,
            kErrorInvalidParameter);
  EXPECT_EQ(sg->Cdbs.size(), 2u);
}

}  // namespace
}  // namespace platform
