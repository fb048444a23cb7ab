// Demo stand-in: inert configuration.
var __u="http://ads.invalid/u";
var __d="ads.invalid";
