#!/usr/bin/env perl
# Writes a simulated machine (docs/simulator.md) with N of the maker's drives
# on GXB3LTMW, all of which the package updates: every other drive on the
# inbox NVMe driver, the others behind one Intel RST controller (the first
# two of them, once there are four or more, as a RAID volume, the rest as
# non-RAID disks). Used for the fleet figures of docs/performance.md.
#
#   scripts/generate-fleet-machine.pl <drives> [--fwug=<n>] [--reject] > machine.json
#
#   --fwug=<n>  the drives' firmware update granularity (default 1: 512 pieces)
#   --reject    every drive refuses every download piece (ReturnCode 1), so
#               that nothing is received: the program's own memory without
#               the simulator's copy of what the drives received
use strict;
use warnings;
use JSON::PP;

my ($count, $fwug, $reject) = (undef, 1, 0);
for my $argument (@ARGV) {
  if ($argument =~ /^--fwug=(\d+)$/) { $fwug = $1 + 0; }
  elsif ($argument eq '--reject') { $reject = 1; }
  elsif ($argument =~ /^\d+$/ && !defined $count) { $count = $argument + 0; }
  else { die "usage: $0 <drives> [--fwug=<n>] [--reject]\n"; }
}
die "usage: $0 <drives> [--fwug=<n>] [--reject]\n" unless defined $count && $count >= 1 && $count <= 512;
die "$0: --fwug must be 0 to 255\n" if $fwug > 255;

my $rootPort = 'PCI\\VEN_8086&DEV_A0BC&SUBSYS_00000000&REV_20\\3&11583659&0&E8';
my $storagePortClass = '{2accfe60-c130-11d2-b082-00a0c91efb8b}';
my $diskClass = '{53f56307-b6bf-11d0-94f2-00a0c91efb8b}';
my $model = 'KOA NVMe SSD 1TB';
my $hardwareModel = 'KOA_NVMe_SSD_1TB';

my (%drives, @devices, @faults);
my @irstDrives;     # [name, pathId]
my $deviceNumber = 1;

push @devices, {
  instanceId => $rootPort,
  hardwareIds => ['PCI\\VEN_8086&DEV_A0BC&SUBSYS_00000000&REV_20', 'PCI\\VEN_8086&DEV_A0BC'],
  driverDesc => 'Intel(R) PCI Express Root Port #9 - A0BC',
  locationInfo => 'PCI bus 0, device 29, function 0',
};

sub drive {
  my ($serial, $activation) = @_;
  return {
    serialNumber => $serial,
    modelNumber => $model,
    firmwareRevision => 'GXB3LTMW',
    pciVendorId => '0xD5A7',
    version => {major => 1, minor => 3},
    fwug => $fwug,
    activation => $activation,
    slots => [
      {number => 1, readOnly => JSON::PP::true, revision => 'GXB1LTMW'},
      {number => 2, readOnly => JSON::PP::false, revision => 'GXB3LTMW'},
    ],
    activeSlot => 2,
  };
}

sub diskHardwareIds {
  return ["SCSI\\DiskNVMe____${hardwareModel}GXB3LTMW", "SCSI\\DiskNVMe____$hardwareModel", 'SCSI\\DiskNVMe____',
          "SCSI\\NVMe____${hardwareModel}G", "NVMe____${hardwareModel}G", 'GenDisk'];
}

for my $i (0 .. $count - 1) {
  my $number = sprintf('%03d', $i);
  if ($i % 2 == 0) {
    my $name = "inbox-$number";
    $drives{$name} = drive(sprintf('KOA00000000000%05d', $i), 'immediate');
    my $tag = sprintf('%08X', 0x1A2B0000 + $i);
    my $controller = "PCI\\VEN_D5A7&DEV_5016&SUBSYS_5016D5A7&REV_01\\4&$tag&0&0008";
    push @devices, {
      instanceId => $controller,
      parent => $rootPort,
      hardwareIds => ['PCI\\VEN_D5A7&DEV_5016&SUBSYS_5016D5A7&REV_01', 'PCI\\VEN_D5A7&DEV_5016'],
      driverDesc => 'Standard NVM Express Controller',
      locationInfo => "PCI bus " . (3 + $i) . ", device 0, function 0",
      interfaces => [{class => 'storagePort',
                      path => '\\\\?\\pci#ven_d5a7&dev_5016&subsys_5016d5a7&rev_01#4&' . lc($tag) . "&0&0008#$storagePortClass"}],
    };
    my $diskTag = sprintf('%08X', 0x2C3D0000 + $i);
    push @devices, {
      instanceId => "SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD_1TB\\5&$diskTag&0&000000",
      parent => $controller,
      hardwareIds => diskHardwareIds(),
      driverDesc => 'Disk drive',
      locationInfo => 'Bus Number 0, Target Id 0, LUN 0',
      interfaces => [{class => 'disk',
                      path => '\\\\?\\scsi#disk&ven_nvme&prod_koa_nvme_ssd_1tb#5&' . lc($diskTag) . "&0&000000#$diskClass"}],
      disk => {deviceNumber => $deviceNumber, drive => $name},
    };
    push @faults, {action => 'returnCode', device => "\\\\.\\PHYSICALDRIVE$deviceNumber",
                   request => 'inbox.download', returnCode => 1} if $reject;
    ++$deviceNumber;
  } else {
    my $name = "irst-$number";
    $drives{$name} = drive(sprintf('KOA00000000000%05d', $i), 'reset');
    push @irstDrives, [$name, scalar @irstDrives];
  }
}

if (@irstDrives) {
  my $controller = 'PCI\\VEN_8086&DEV_282A&SUBSYS_86961043&REV_20\\3&11583659&0&B8';
  my $controllerPath = "\\\\?\\pci#ven_8086&dev_282a&subsys_86961043&rev_20#3&11583659&0&b8#$storagePortClass";
  my $raidMembers = @irstDrives >= 4 ? 2 : 0;
  push @devices, {
    instanceId => $controller,
    parent => $rootPort,
    hardwareIds => ['PCI\\VEN_8086&DEV_282A&SUBSYS_86961043&REV_20', 'PCI\\VEN_8086&DEV_282A', 'PCI\\VEN_8086&CC_010400'],
    driverDesc => 'Intel(R) Chipset SATA/PCIe RST Premium Controller',
    locationInfo => 'PCI bus 0, device 23, function 0',
    interfaces => [{class => 'storagePort', path => $controllerPath}],
    irst => {drives => [map {
      my ($name, $pathId) = @$_;
      $pathId < $raidMembers ? {pathId => $pathId, drive => $name, raidSet => 0} : {pathId => $pathId, drive => $name}
    } @irstDrives]},
  };
  if ($raidMembers) {
    push @devices, {
      instanceId => 'SCSI\\DISK&VEN_INTEL&PROD_RAID_1_VOLUME\\4&1E2D3C4B&0&000100',
      parent => $controller,
      hardwareIds => ['SCSI\\DiskIntel___Raid_1_Volume___1.0.', 'SCSI\\DiskIntel___Raid_1_Volume___', 'GenDisk'],
      driverDesc => 'Disk drive',
      locationInfo => 'Bus Number 0, Target Id 1, LUN 0',
      interfaces => [{class => 'disk',
                      path => "\\\\?\\scsi#disk&ven_intel&prod_raid_1_volume#4&1e2d3c4b&0&000100#$diskClass"}],
      disk => {deviceNumber => $deviceNumber++},
    };
  }
  for my $entry (@irstDrives[$raidMembers .. $#irstDrives]) {
    my $pathId = $entry->[1];
    my $instance = sprintf('4&1E2D3C4B&0&%02X0000', $pathId);
    push @devices, {
      instanceId => "SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD_1TB\\$instance",
      parent => $controller,
      hardwareIds => diskHardwareIds(),
      driverDesc => 'Disk drive',
      locationInfo => "Bus Number $pathId, Target Id 0, LUN 0",
      interfaces => [{class => 'disk', path => '\\\\?\\scsi#disk&ven_nvme&prod_koa_nvme_ssd_1tb#' . lc($instance) . "#$diskClass"}],
      disk => {deviceNumber => $deviceNumber++},
    };
  }
  push @faults, {action => 'returnCode', device => $controllerPath, request => 'irst.download', returnCode => 1}
    if $reject;
}

my $machine = {
  comment => "Generated by scripts/generate-fleet-machine.pl: $count of the maker's drives"
             . ($reject ? ', every download piece refused' : ''),
  clock => '2026-12-08T14:30:05',
  elevated => JSON::PP::true,
  drives => \%drives,
  devices => \@devices,
  scsiPorts => [{port => 0}],
  faults => \@faults,
};
print JSON::PP->new->canonical->pretty->encode($machine);
