namespace orvane::app {}
