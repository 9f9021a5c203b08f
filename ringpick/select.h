// select: ringpick's decision on one catalog event.
#pragma once
