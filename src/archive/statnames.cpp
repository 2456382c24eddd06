// Counter names of the six cache statistic types, in record order: the order of
// the counters in a process's statistics block. The counts are checked at compile
// time against the record sizes.
#include "archive/statnames.h"

#include "archive/processstatnames.h"

// The five fixed fields and the 36 counters common to the four process kinds.
#define FIXED_AND_COMMON_CTR_NAMES \
    "StatTypeNum", "Time", "ProcessName", "ProcessId", "SessionId", "LocalPageCacheHits", \
    "LocalPageCacheMisses", "TimeInWaitsForOtherReaders", "WaitsForOtherReader", "PageReads", "PageWrites", \
    "FramesFromFreeList", "FramesFromFindFree", "FreeFrameLimit", "TimeInFramesFromFindFree", \
    "FramesAddedToFreeList", "PageLocateCount", "ObjectTablePageReads", "DataPageReads", "BitmapPageReads", \
    "OtherPageReads", "ExtentFlushCount", "FreeFrameCacheSize", "FreeFrameCacheNumFrames", "TimeWaitingForIo", \
    "PageIoTimeOverallAvg", "PageIoTime10SampleAvg", "PageIoTime100SampleAvg", "PageIoCount", "CHeapSizeKB", \
    "PinnedPrivatePagesCount", "FreePceCacheEntries", "PcesRemovedFromFreeList", "PcesAddedToFreeList", \
    "CacheSlotIndex", "PagesAddedToCacheFromDisk", "PagesAddedToCacheFromPrimaryCache", \
    "PagesAddedToCacheFromMidCache", "PagesAddedToCacheNewlyCreated", "CommitRecordPageReads", \
    "PinnedPagesCount"

const char* const shrpcCtrNames[SHRPC_CTR_COUNT] = {
    FIXED_AND_COMMON_CTR_NAMES, "FreeFrameCount", "EnvoysInCacheCount", "LocalDirtyPageCount",
    "GlobalDirtyPageCount", "LastSleepTimeBetweenScans", "LastSleepTimeWithinScan", "RecentActiveProcessCount",
    "InvalidPagesWrittenByEnvoy", "RootPagesWrittenByEnvoy", "FragmentBmPagesWrittenByEnvoy",
    "CommitRecordPagesWrittenByEnvoy", "DataPagesWrittenByEnvoy", "OtInternalPagesWrittenByEnvoy",
    "OtLeafPagesWrittenByEnvoy", "BmInternalPagesWrittenByEnvoy", "BmLeafPagesWrittenByEnvoy",
    "MultObjPagesWrittenByEnvoy", "RepBkupRestPagesWrittenByEnvoy", "CountBagLeafPagesWrittenByEnvoy",
    "BitlistPagesWrittenByEnvoy", "DeadDataPagesWrittenByEnvoy", "CountMapLeafPagesWrittenByEnvoy",
    "CountBagInteriorPagesWrittenByEnvoy", "LogRecordPagesWrittenByEnvoy", "Root40PagesWrittenByEnvoy",
    "BackupRecordPagesWrittenByEnvoy", "LostOtPagesWrittenByEnvoy", "EmptyBmLeafPagesWrittenByEnvoy",
    "CompressedLogPagesWrittenByEnvoy", "InvalidPagesWrittenByKeeper", "RootPagesWrittenByKeeper",
    "FragmentBmPagesWrittenByKeeper", "CommitRecordPagesWrittenByKeeper", "DataPagesWrittenByKeeper",
    "OtInternalPagesWrittenByKeeper", "OtLeafPagesWrittenByKeeper", "BmInternalPagesWrittenByKeeper",
    "BmLeafPagesWrittenByKeeper", "MultObjPagesWrittenByKeeper", "RepBkupRestPagesWrittenByKeeper",
    "CountBagLeafPagesWrittenByKeeper", "BitlistPagesWrittenByKeeper", "DeadDataPagesWrittenByKeeper",
    "CountMapLeafPagesWrittenByKeeper", "CountBagInteriorPagesWrittenByKeeper", "LogRecordPagesWrittenByKeeper",
    "Root40PagesWrittenByKeeper", "BackupRecordPagesWrittenByKeeper", "LostOtPagesWrittenByKeeper",
    "EmptyBmLeafPagesWrittenByKeeper", "CompressedLogPagesWrittenByKeeper", "SpinLockPageFrameSleepCount",
    "SpinLockHashTableSleepCount", "SpinLockFreeFrameSleepCount", "SpinLockFreePceSleepCount",
    "SpinLockOtherSleepCount", "TargetFreeFrameCount", "PagesRemovedFromCacheCount",
    "PagesNotRemovedFromCacheCount", "PagesNotFoundInCacheCount", "PagesRemovedDirtyFromCacheCount",
    "SpinLockNewSymSleepCount", "PinnedTotalCount", "PinnedSharedCount", "PinnedDataPagesCount",
    "PinnedOtPagesCount", "PageServersInCacheCount", "FrameCount", "SpinLockCount", "NumSharedCounters",
    "SlotsCrashedCount", "TotalOtPages", "TotalDataPages", "TotalCrPages", "TotalBitmapPages", "TotalOtherPages",
    "FreePceCount", "TotalFramesInFreeFrameCaches", "TotalPcesInFreePceCaches", "TotalProcsInCacheCount",
    "SlotsFreeCount", "CrashedSlotsInRecoveryCount", "CleanSlotsInRecoveryCount", "SlotsTotalCount",
    "RejectedProcsCount", "CleanSlotsRecoveredCount", "CrashedSlotsRecoveredCount", "MainThreadTimeRunningMs",
    "CrashedSlotThreadTimeRunningMs", "CleanSlotThreadTimeRunningMs", "StatsThreadTimeRunningMs",
    "ProcessesWaitingForQueueLocks", "CacheScanCount", "PagesInCacheFromDisk", "PagesInCacheFromPrimaryCache",
    "PagesInCacheFromMidCache", "PagesInCacheCreatedInLeafCache", "PagesInCacheCreatedInPrimaryCache",
    "NumProcsSleepingForLock", "TotalLocalPageCacheHits", "TotalLocalPageCacheMisses", "TotalWaitsForOtherReader",
    "TotalPageReads", "TotalPageWrites", "TotalFramesFromFreeList", "TotalFramesFromFindFree",
    "TotalFramesAddedToFreeList", "TotalOtPageReads", "TotalDataPageReads", "TotalBmPageReads",
    "TotalMiscPageReads", "TotalPcesRemovedFromFreeList", "TotalCommitRecordPageReads",
    "TotalPagesAddedToCacheFromDisk", "TotalPagesAddedToCacheFromPrimaryCache",
    "TotalPagesAddedToCacheFromMidCache", "TotalPagesAddedToCacheNewlyCreated", "TotalPcesAddedToFreeList",
};

const char* const kprCtrNames[KPR_CTR_COUNT] = {
    FIXED_AND_COMMON_CTR_NAMES, "TotalCommits", "CommitRecordCount", "LogRecordsWritten", "LogRecordsIoCount",
    "CheckpointCount", "CommitQueueSize", "NotifyQueueSize", "CacheStartQueueSize", "RunQueueSize",
    "SymbolCreationQueueSize", "PageWaitQueueSize", "LogWaitQueueSize", "LogHighQueueSize", "LogLowQueueSize",
    "RcRetryQueueSize", "LockWaitQueueSize1", "LockWaitQueueSize2", "LockWaitQueueSize3", "LockWaitQueueSize4",
    "LockWaitQueueSize5", "LockWaitQueueSize6", "LockWaitQueueSize7", "LockWaitQueueSize8", "LockWaitQueueSize9",
    "LockWaitQueueSize10", "LockReqQueueSize", "LogLowQueueAdds", "LogHighQueueAdds", "TempPagesDisposed",
    "PersistentPagesDisposed", "PageDisposesDeferred", "FreePages", "GcWsUnionSweepCount", "TimeInPgsvrNetReads",
    "TimeInPgsvrNetWrites", "QlMsgCount", "QlMsgSessionId", "QlMsgKind", "KprLoopState", "DeferCkptCompleteCount",
    "TotalAborts", "TimeInKprGetLocks", "KprGetLocksCount", "TotalNewObjsCommitted", "TotalSessionsCount",
    "CommitTokenSession", "TimeInCommitRecordDisposal", "CommitRecordDisposalState", "CommitRecordsDisposedCount",
    "CommitQueueSessionNotReadyCount", "CommitQueueAddedToRunQueueCount",
    "CommitQueueAddedToRunQueueSessionCount", "CheckpointState", "KeeperCommitState", "CommitQueueThreshold",
    "CommitRecordDisposalsDeferredCount", "KprLoopHibernateCount", "RecoverTranlogFileId",
    "RecoverTranlogBlockId", "RecoverReclaimOopsWaitTime", "RecoverFreeFrameWaitTime",
    "RecoverReadThreadWaitTime", "RecoverNumBufs", "RecoverNumBufsInWorkQueue", "RecoverNumBufsInFreeList",
    "RecoverNumBufsForSessions", "OldestCrSession", "OldestCrSessNotInTrans", "GcVoteState",
    "WaitingForSessionToVote", "TranlogFileId", "TranlogRecordId", "TranlogsFull", "TimePerformingCommit",
    "RemoteSharedPageCacheCount", "OopsReturnedByEnvoysCount", "PagesReturnedByEnvoysCount",
    "PageMgrPagesReceivedFromKeeperCount", "PageMgrRemoveFromCachesCount", "PageMgrRemoveFromCachesPageCount",
    "PageMgrPagesPendingRemovalRetryCount", "PageMgrPagesRemovedFromCachesCount",
    "PageMgrPagesNotRemovedFromCachesCount", "PageMgrRemovePagesFromCachesPollCount",
    "PageMgrTimeWaitingForCachePgsvrs", "PagesWaitingForRemovalInKeeperCount", "TimeInKeeperPageDisposal",
    "RemoteCachesNeedServiceCount", "LocalCacheStalePcesRemovedCount", "LocalCacheAllocatedPceCount",
    "LocalCacheFreePceCount", "LocalCachePceCountLimit", "LocalCachePceReclaimCount",
    "LocalCacheValidPcesRemovedCount", "LocalCacheOverflowCount", "LastSmcQueueSize", "SessionWithGcLock",
    "NumInNetWriteQueue", "EpochGcCount", "CommitsSinceLastEpoch", "NumInMainInpQueue", "TimeLastEpochGc",
    "EpochForceGc", "BmCHeapPages", "MaxVotingSessions", "NumVotingSessions", "NumInLostOtQueue",
    "KprMainWaitsForFreeAio", "AioNumEmptyBuffers", "AioNumBuffers", "PgsvrWaitQueueSize", "ReposSizeMB",
    "NumInBcnQueue", "TotalEnvoyFatalErrors", "TotalSigAbortsSent", "TotalLostOtsSent", "TotalSessionsStopped",
    "TotalSessionsTerminated", "BcnThreadOperations", "LoginRequestsCount", "NumInNetReadWorkList",
    "LastSessionIdStopped", "LastSessionIdTerminated", "LastSessionFatalError", "LastSessionSigAbort",
    "LastSessionLostOt", "KprLoopNoWorkThreshold", "KprLoopsSinceSleep", "KprLoopsNoWork",
    "KprTranQToRunQThreshold", "NumCacheWarmers", "KprAioWaitsForWork", "KprAioWriteFailures",
    "KprAioCompletionFailures", "KprAioFsyncFailures", "NetWriteThreadWakeups", "NetWriteThreadSocketWrites",
    "PageMgrThreadWakeups", "PageMgrSleepState", "PageMgrSleepMs", "PageMgrPolls", "TimerThreadWakeups",
    "RemoteSharedPageCacheMax", "PagesWaitingForRemovalTemp", "PagesWaitingForRemovalPersist",
    "PagesWaitingForRemovalDeferred", "CrPageLocateForDisposeCount", "TteFreePoolSize", "TteFreeCount",
    "TteCrPageFreePoolSize", "TteCrPageFreeCount", "KprAioWaitTotalTime", "KprAioMainTimeInAioWrite",
    "KprCrBacklogThreshold", "EpochLastDuration", "GcWsUnionSize", "KprAioFsyncCount", "KprAioTimeInFsyncMs",
    "KprAioWriteQueueSize", "KprAioWritesQueuedCount", "KprAioNumWriteThreads", "KprAioWriteQueueHighWaterSize",
    "PageMgrRemoteCachePgsvrTimeout", "PageMgrPrintTimeoutThreshold", "PageMgrCompressionEnabled",
    "PageMgrRemoveMinPages", "PageMgrRemoveMaxPages", "PageMgrPageRemovalRetryCount", "GcLockKind",
    "KprAioWriteThreadsIdle", "SessionPerformingBackup", "LostOtDeferLastSession", "LosOtDeferLastReason",
    "LostOtDeferCount", "ReadLocksSize", "WriteLocksSize", "MaxUserSessions", "PageManagerStarvedCount",
    "PageManagerMaxWaitTimeMs", "TimeInGetPagesForPageMgr", "TimeInProcessPagesFromPageMgr", "ForcedDisconnects",
    "NumInLoginLogQueue", "LoginLogThreadOperations", "LoginLogFlushes", "ResponsesSentEarly",
    "ResponsesSentNormal", "KprSmcSpinLockCount", "KprMessagesNoWakeUpCount", "KprMessagesNeedWakeUpCount",
    "CommitRecordReleases", "LastCommitRecordReleaseReasonCode", "LastCommitRecordReleaseSessionId",
    "LastSigTermEnvoySessionId", "LastSigTermPageServerSessionId", "TotalSigTermsSentToEnvoys",
    "TotalSigTermsSentToPageServers", "LastSigTermEnvoyPid", "LastSigTermPgsvrPid", "RemoteMidLevelCacheCount",
    "LocalCacheFreeFrameCount", "GlobalStat00", "GlobalStat01", "GlobalStat02", "GlobalStat03", "GlobalStat04",
    "GlobalStat05", "GlobalStat06", "GlobalStat07", "GlobalStat08", "GlobalStat09", "GlobalStat10",
    "GlobalStat11", "GlobalStat12", "GlobalStat13", "GlobalStat14", "GlobalStat15", "GlobalStat16",
    "GlobalStat17", "GlobalStat18", "GlobalStat19", "GlobalStat20", "GlobalStat21", "GlobalStat22",
    "GlobalStat23", "GlobalStat24", "GlobalStat25", "GlobalStat26", "GlobalStat27", "GlobalStat28",
    "GlobalStat29", "GlobalStat30", "GlobalStat31", "GlobalStat32", "GlobalStat33", "GlobalStat34",
    "GlobalStat35", "GlobalStat36", "GlobalStat37", "GlobalStat38", "GlobalStat39", "GlobalStat40",
    "GlobalStat41", "GlobalStat42", "GlobalStat43", "GlobalStat44", "GlobalStat45", "GlobalStat46",
    "GlobalStat47", "BackupHighWaterPage", "GcHighWaterPage", "ReclaimCount", "ReclaimedPagesCount",
    "PagesNeedReclaimSize", "PossibleDeadObjs", "PossibleDeadSymbols", "ReclaimedSymbols", "VoteNotDeadObjs",
    "DeadObjsReclaimedCount", "DeadNotReclaimedObjs", "EpochNewObjs", "EpochScannedObjs", "EpochPossibleDeadObjs",
    "FreeOops", "KprLoopCount", "OopNumberHighWaterMark",
};

const char* const pgsvrCtrNames[PGSVR_CTR_COUNT] = {
    FIXED_AND_COMMON_CTR_NAMES, "AioDirtyCount", "AioCkptCount", "AsyncWritesInProgress", "ClientPageReads",
    "ClientPageWrites", "DirtyPageSweepCount", "AioRateLimit", "AioRateMax", "TargetPercentDirty",
    "NextSleepTime", "AsyncFlushesInProgress", "ClientPid", "PreemptedDataPages", "PreemptedObjectTablePages",
    "PreemptedBitmapPages", "PreemptedCommitRecordPages", "PreemptedOtherPages", "ClockHandFrameId",
    "TimePerformingReadIo", "PostCheckpointPages", "ClientSigAbortsSent", "ClientLostOtsSent",
    "PgsvrCheckpointState", "AioWriteFailures", "TimeSleepingMs", "LastCommandFromClient", "MessagesToKeeper",
    "MessageKindToKeeper", "TimeWaitingForKeeper", "ClientAbortInProgress", "ClientAborts", "ClientCommits",
    "TimePerformingReadRequests",
};

const char* const envoyCtrNames[ENVOY_CTR_COUNT] = {
    FIXED_AND_COMMON_CTR_NAMES, "CommitCount", "FailedCommitCount", "AbortCount", "ObjsCommitted",
    "NewObjsCommitted", "ObjsCommittedNotLogged", "NewObjsCommittedNotLogged", "ObjectsRead", "ClassesRead",
    "MethodsRead", "ObjectsRefreshed", "ScavengeCount", "TimeInScavenges", "MarkSweepCount", "TimeInMarkSweep",
    "NumRefsStubbedMarkSweep", "NumRefsStubbedScavenge", "NumSoftRefsCleared", "NumLiveSoftRefs",
    "NumNonNilSoftRefs", "NumEphemerons", "TotEphemeronsFired", "CodeGenGcCount", "PomGenScavCount",
    "ScavengeOverflows", "CodeCacheSizeBytes", "NewGenSizeBytes", "OldGenSizeBytes", "PomGenSizeBytes",
    "PermGenSizeBytes", "MeSpaceUsedBytes", "MeSpaceAllocatedBytes", "ObjectMemoryGrowCount", "WorkingSetSize",
    "ExportedSetSize", "ExportedSetSizePinnedInMemory", "TrackedSetSize", "DirtyListSize", "TimeWaitingForCommit",
    "TimeProcessingCommit", "TimeKeeperCommit", "MessagesToKeeper", "NewSymbolRequests", "TimeWaitingForSymbols",
    "NewSymbolsCount", "OmBytesFlushed", "EnvoyFreePages", "VoteNotDead", "TransactionLevel",
    "TimeInPgsvrNetReads", "TimeInPgsvrNetWrites", "ShadowedPagesCount", "RcConflictCount",
    "CommitRetryFailureCount", "PageReadsWaitingForCommit", "PageReadsProcessingCommit", "PageReadsKeeperCommit",
    "MessagesToKprWaitingForCommit", "MessagesToKprProcessingCommit", "MessagesToKprKeeperCommit",
    "MessageKindToKeeper", "TimeWaitingForKeeper", "UpdateUnionsCommitCount", "TimeInUpdateUnionsCommit",
    "RebuildScavPagesForCommitCount", "CommitRecordsReadAbortCount", "CommitRecordsReadCommitWithTokenCount",
    "CommitRecordsReadCommitBeforeCommitQueueCount", "CommitRecordsReadCommitInCommitQueueCount", "SigAbortsSent",
    "SigAbortsReceived", "LostOtsSent", "LostOtsReceived", "EnvoyHasCommitToken",
    "LocalCacheStalePcesRemovedCount", "LocalCacheAllocatedPceCount", "LocalCacheFreePceCount",
    "LocalCachePceCountLimit", "LocalCachePceReclaimCount", "LocalCacheValidPcesRemovedCount",
    "LocalCacheOverflowCount", "LocalCacheFreeFrameCount", "TempObjSpacePercentUsed", "QciRpcCommandsServiced",
    "PersistentPagesCommittedCount", "SleepDuringDisposeTempPageCount", "BmCHeapPages", "DepMapKeysChanged",
    "QciPhysBytesSent", "QciPhysBytesRcvd", "QciBytesSent", "QciBytesRcvd", "TranlogRecordsWritten",
    "TranlogKBytesWritten", "TranlogRecordKind", "TimeInUserActions", "QciRpcLastCommandServiced",
    "QciRpcTimeInLastCommand", "QciRpcTimeInClientRequests", "PermGenObjsChanged", "PermGenObjsChangedTotal",
    "WorkingSetObjsChanged", "WorkingSetObjsChangedTotal", "WorkingSetClearedCount", "PrimitiveNumber",
    "GarbageCollectionState", "VoteOnDeadCount", "PermGenFullCount", "CodeGenFullCount", "OldGenFullCount",
    "LastMarkSweepReasonCode", "LastScavengeReasonCode", "ScavsPromToMkSwCount", "ClientPid",
    "EnvoyTempObjCacheSizeKb", "MtMaxThreads", "MtThreadsLimit", "MtPercentCpuActiveLimit", "MtActiveThreads",
    "MlPolyCacheFullCount", "MlClearAllCount", "MlLuCacheLargeCount", "MlLuCacheGrowCount", "MlLuCacheResetCount",
    "AbortInProgress", "LastErrorNumber", "ContinueTransactionCount", "ReadLocksSize", "WriteLocksSize",
    "AfterLogoutState", "QciRpcKeepAlivePacketCount", "ObjectsReadInBytes", "MlPolyCacheCreateCount",
    "MlPolyCacheGrowCount", "MlFullLookupCount", "Env1sendCacheSerialNum", "LookupCacheSerialNum",
    "ProgressCount", "IndexProgressCount", "SessionStat00", "SessionStat01", "SessionStat02", "SessionStat03",
    "SessionStat04", "SessionStat05", "SessionStat06", "SessionStat07", "SessionStat08", "SessionStat09",
    "SessionStat10", "SessionStat11", "SessionStat12", "SessionStat13", "SessionStat14", "SessionStat15",
    "SessionStat16", "SessionStat17", "SessionStat18", "SessionStat19", "SessionStat20", "SessionStat21",
    "SessionStat22", "SessionStat23", "SessionStat24", "SessionStat25", "SessionStat26", "SessionStat27",
    "SessionStat28", "SessionStat29", "SessionStat30", "SessionStat31", "SessionStat32", "SessionStat33",
    "SessionStat34", "SessionStat35", "SessionStat36", "SessionStat37", "SessionStat38", "SessionStat39",
    "SessionStat40", "SessionStat41", "SessionStat42", "SessionStat43", "SessionStat44", "SessionStat45",
    "SessionStat46", "SessionStat47",
};

const char* const tallyCtrNames[TALLY_CTR_COUNT] = {
    "StatTypeNum", "Time", "ProcessName", "ProcessId", "SessionId", "TimeWritingStats",
};

const char* const HostProcessStatNames[HOST_PROCESS_STAT_NAME_COUNT] = {
    "UserTime", "SysTime", "MajFlt", "SwapCount", "MsgSent", "MsgRecv", "SignalsReceived", "MinorFaults",
    "VolCSW", "IVolCSW", "InputBlocks", "OutputBlocks", "CharacterIO", "LwpTotalCount", "LwpCurCount",
    "HeapKBytes", "StackKBytes", "TrapTime", "TextFaultSleepTime", "DataFaultSleepTime",
    "KernelFaultSleepTime", "LockWaitSleepTime", "AllOtherSleepTime", "WaitCpuTime", "StoppedTime",
    "SystemCalls", "ImageKBytes", "RSSKBytes", "PercentCpuUsed", "PercentMemoryUsed",
};
